"""Module start-up: members in order, the readable submodule, a second interpreter, a failed start-up."""

import importlib
import sys

import vellix

ext = vellix._vellix
MODULE_ALL = [
    "__version__", "Service", "Book", "Sheet", "Cell", "Comment", "version", "column_number_to_letter",
    "get_letter_coordinate", "DEFAULT_ROW_HEIGHT", "DEFAULT_COLUMN_WIDTH", "readable",
]
READABLE_FUNCTIONS = [
    "create_finder", "find_cell_by_coords", "find_value_by_coords", "find_cell_by_regex", "find_cell_by_str",
    "find_cell_by_letter", "find_cells_by_regex", "find_cells_by_str", "find_cells_for_rows_by_regex",
    "find_cells_for_cols_by_regex", "find_cells_multi_regex", "find_cells_between_regex", "find_cells_range_rows",
    "find_cells_range_cols", "find_values_by_col_rows", "find_values_by_row_cols",
]


def test_members_and_names():
    assert ext.__all__ == vellix.__all__ == MODULE_ALL
    assert ext.readable.__all__ == ["Finder", "ReadableSheet", "ReadableCell"] + READABLE_FUNCTIONS
    assert {getattr(ext.readable, name).__module__ for name in READABLE_FUNCTIONS} == {"readable"}
    assert (ext.__name__, ext.__doc__, ext.readable.__name__, ext.readable.__doc__) == (
        "vellix._vellix", "", "readable", None)
    for fn, signature in [(ext.version, "()"), (ext.column_number_to_letter, "(col)"),
                          (ext.get_letter_coordinate, "(row, col)")]:
        assert (fn.__text_signature__, fn.__module__, fn.__self__) == (signature, "vellix._vellix", ext)
    assert ext.version() == ext.__version__ == vellix.__version__ == "0.12.3"
    assert [(type(v), v) for v in (ext.DEFAULT_ROW_HEIGHT, ext.DEFAULT_COLUMN_WIDTH)] == [(float, 20.0), (float, 22.5)]


def test_imports_return_the_same_modules(monkeypatch):
    import vellix.readable
    from vellix.readable import Finder

    assert sys.modules["vellix.readable"] is vellix.readable is ext.readable and Finder is ext.readable.Finder
    monkeypatch.delitem(sys.modules, "vellix._vellix")  # so the import runs start-up again
    assert importlib.import_module("vellix._vellix") is ext


def test_a_second_interpreter_gets_import_error_every_time(capfd):
    import _testcapi  # CPython's C-API test module: runs code in a sub-interpreter that shares the GIL

    code = "\n".join(["import sys", f"sys.path[:0] = {sys.path!r}", "for attempt in range(2):", "    try:",
                      "        import vellix._vellix", "    except ImportError as e:", "        print(e, flush=True)"])
    assert _testcapi.run_in_subinterp(code) == 0
    assert capfd.readouterr().out == ("PyO3 modules do not yet support subinterpreters, see "
                                      "https://docs.python.org/3/howto/isolating-extensions.html\n") * 2
    assert ext.get_letter_coordinate(7, 2) == "B7" and sys.modules["vellix._vellix"] is ext


def test_failed_start_up_caches_nothing_and_the_next_import_succeeds(run_python):
    done = run_python(f"""
        import builtins, sys
        real_import = builtins.__import__
        builtins.__import__ = lambda name, *args: real_import("no_sys" if name == "sys" else name, *args)
        try:
            import vellix  # start-up fails at its last step, importing sys
            raise AssertionError("start-up did not fail")
        except ImportError as e:
            assert str(e) == "No module named 'no_sys'", e
        builtins.__import__ = real_import
        assert "vellix._vellix" not in sys.modules and "vellix.readable" not in sys.modules
        import vellix.readable
        assert vellix._vellix.__all__ == {MODULE_ALL!r}, vellix._vellix.__all__
        assert sys.modules["vellix.readable"] is vellix._vellix.readable
        assert vellix._vellix.column_number_to_letter(28) == "AB"
        """)
    assert (done.returncode, done.stderr) == (0, "")
