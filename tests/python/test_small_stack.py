"""Calls whose work nests as deep as their input does (pattern groups, nested values) answer or raise on a thread
with the smallest stack Python allows; a crash would kill the child process, so each runs in one."""

import pytest

DEEPEST_GROUPS = "(" * 63 + "a" + ")" * 63  # one level below the syntax's nesting limit
TOO_DEEP_GROUPS = "(" * 64 + "a" + ")" * 64

CALLS = {  # each prints its answer or its exception
    "Sheet.find_cells_by_regex": f"len(sheet.find_cells_by_regex({DEEPEST_GROUPS!r}))",
    "ReadableSheet.find_cells_by_regex": f"len(rs.find_cells_by_regex({DEEPEST_GROUPS!r}))",
    "Finder.find_sheet_by_regex": f"finder.find_sheet_by_regex({'(' * 63 + 's' + ')' * 63!r}).name",
    "too deep a pattern": f"sheet.find_cells_by_regex({TOO_DEEP_GROUPS!r})",
    "a value 1000 lists deep": "readable.find_cells_by_regex('a', [deep[1000]])",
    "a value 40 lists deep": "len(readable.find_cells_by_regex('a', [deep[40]]))",
}
RECURSION = "RecursionError: maximum recursion depth exceeded while reading a value"
ANSWERS = {  # what each may print; a nested value may be deeper than a small stack holds, whatever Python's limit
    "Sheet.find_cells_by_regex": ("1",),
    "ReadableSheet.find_cells_by_regex": ("1",),
    "Finder.find_sheet_by_regex": ("s",),
    "too deep a pattern": ("RuntimeError: pattern nested too deeply at offset 63",),
    "a value 1000 lists deep": (RECURSION,),
    "a value 40 lists deep": ("1", RECURSION),
}

CHILD = """
    import threading, vellix
    from vellix import readable
    cell = lambda value: dict(row=1, column=1, value=value, formula=None, data_type="s", style_id=None)
    def nested(depth):
        v = "a"
        for _ in range(depth):
            v = [v]
        return v
    # Made and freed on this thread: CPython 3.13 itself cannot free a list 1000 deep on a 32 KiB stack.
    deep = {{depth: cell(nested(depth)) for depth in (40, 1000)}}
    sheet = vellix.Book().add_sheet("s")
    sheet.cell(1, 1, "a")
    finder = readable.Finder([dict(name="s", sheet_state="visible", merge_cells=[], cells=[cell("a")])])
    rs = finder.sheets[0]
    def run():
        try:
            print({call})
        except Exception as e:
            print(f"{{type(e).__name__}}: {{e}}")
    threading.stack_size({stack})
    thread = threading.Thread(target=run)
    thread.start()
    thread.join()
"""


@pytest.mark.parametrize("stack", [32 * 1024, 64 * 1024, 256 * 1024])
@pytest.mark.parametrize("name", CALLS.keys())
def test_deeply_nested_input_on_a_small_thread_stack_answers_or_raises(run_python, name, stack):
    child = run_python(CHILD.format(call=CALLS[name], stack=stack))
    assert child.returncode == 0, child.stderr
    assert child.stdout.strip() in ANSWERS[name]
