"""A process exits with its own status and output while daemon threads are inside calls that gave the lock up."""

import os
import subprocess
import sys
import textwrap

import pytest

STATUSES = (0, 3, 0)  # one process each, run side by side
THREADS = 3  # daemon threads per process, each looping on the call

ARGS = {  # a ReadableSheet method (also a readable function, but for the first) and its arguments before `cells`
    "get_cells_by_range": "1, 500, 1, 8",
    "find_cell_by_regex": "'^nothing'",
    "find_cell_by_str": "'nothing'",
    "find_cell_by_coords": "499, 8",
    "find_cell_by_letter": "'H499'",
    "find_cells_by_regex": "'v1'",
    "find_cells_by_str": "'v7'",
    "find_cells_for_rows_by_regex": "'v1', 4",
    "find_cells_for_cols_by_regex": "'v1', 300",
    "find_cells_multi_regex": "'v1', 'v2'",
    "find_cells_between_regex": "'v1', 'v2'",
    "find_cells_range_rows": "10, 400",
    "find_cells_range_cols": "2, 6",
    "find_values_by_col_rows": "3, range(0, 500, 2)",
    "find_values_by_row_cols": "7, range(8)",
    "find_value_by_coords": "499, 8",
}
CALLS = {  # `rs` is a ReadableSheet of 4000 cells (enough for the worker pool), `cells` its cells
    **{f"ReadableSheet.{name}": f"rs.{name}({args})" for name, args in ARGS.items()},
    **{f"readable.{name}": f"readable.{name}({args}, cells)" for name, args in ARGS.items() if name != "get_cells_by_range"},
    "readable.create_finder": "readable.create_finder([source])",
}
CALLBACKS = {  # calls that lose the lock inside Python code they run, not where they give it up
    "a property": "readable.find_cells_by_regex('v', [Lagging()])",
    "str()": "readable.find_cells_by_regex('v', [cell(Text())])",
    "a finaliser": "readable.find_cells_by_regex('v', [Dying()])",
    "__index__": "rs.find_cell_by_coords(Index(), 1)",
    "iteration": "rs.find_values_by_col_rows(1, Rows([1]))",
    "json.loads": "book.to_dict()",
}
CALLS.update({f"{name} that sleeps": call for name, call in CALLBACKS.items()})

# Patterns that read the Unicode tables (Perl classes, properties, case
# folding, POSIX classes, break values) while exit may be destroying statics.
TABLE_PATTERNS = {
    "perl classes": r"\w+\d",
    "property or not a digit": r"\p{Greek}|\D",
    "case-insensitive": "(?i)straße|ǅ\\s\\S",
    "posix and hex": r"[[:alpha:]]\h\H",
    "break value": r"\p{gcb=Extend}\W|\p{sc=Cyrl}",
    "script extension and age": r"\p{scx=Deva}|\p{age=3.0}\p{Other_Alphabetic}",
}
PINNED_THREADS = 4

CHILD = """
    import os, sys, threading, time
    if {pin}:  # one CPU: exit then often runs while a daemon thread is mid-call
        os.sched_setaffinity(0, [min(os.sched_getaffinity(0))])
    from vellix import readable
    sources = [dict(row=i // 8 + 1, column=i % 8 + 1, value=f"v{{i}}", formula=None, data_type="s", style_id=None)
               for i in range(4000)]
    source = dict(name="s", sheet_state="visible", merge_cells=[], cells=sources)
    rs = readable.Finder([source]).sheets[0]
    cells = rs.cells
    import types, vellix
    nap = lambda: time.sleep(0.001)
    cell = lambda value: dict(row=1, column=1, value=value, formula=None, data_type="s", style_id=None)
    class Text:
        __str__ = lambda self: nap() or "v"
    class Lagging:
        row, column, formula, data_type, style_id = 1, 1, None, "s", None
        value = property(lambda self: nap() or "v")
    class Dying(Lagging):  # its value's last reference is the one the call drops
        value = property(lambda self: type("Value", (), dict(__str__=lambda v: "v", __del__=lambda v: nap()))())
    class Index:
        __index__ = lambda self: nap() or 1
    class Rows(list):
        __iter__ = lambda self: nap() or list.__iter__(self)
    book = vellix.Book()
    sys.modules["json"] = types.SimpleNamespace(loads=lambda text: nap() or {{}})
    ready = threading.Barrier({threads} + 1)
    def spin():
        {call}
        ready.wait()
        while True:
            {call}
    for _ in range({threads}):
        threading.Thread(target=spin, daemon=True).start()
    ready.wait()
    print("out" * 20000)  # still buffered when the interpreter finalises
    print("err", file=sys.stderr)
    sys.exit({status})
"""


def run_children(call, threads, pin, statuses):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    code = [textwrap.dedent(CHILD).format(call=call, threads=threads, pin=pin, status=status) for status in statuses]
    children = [subprocess.Popen([sys.executable, "-c", text], env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, text=True) for text in code]
    outcomes = [(child.returncode, out, err) for child in children for out, err in [child.communicate(timeout=60)]]
    assert outcomes == [(status, "out" * 20000 + "\n", "err\n") for status in statuses]


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
def test_exit_with_daemon_threads_inside_a_call_keeps_status_and_output(call):
    run_children(call, THREADS, False, STATUSES)


@pytest.mark.parametrize("pattern", TABLE_PATTERNS.values(), ids=TABLE_PATTERNS.keys())
def test_exit_while_daemon_threads_translate_patterns_on_one_cpu_keeps_status_and_output(pattern):
    run_children(f"rs.find_cells_by_regex({pattern!r})", PINNED_THREADS, True, STATUSES)
