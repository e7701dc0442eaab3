"""Module start-up: members and their order, the readable submodule, the
module functions, and what happens to a second interpreter or a failed
start-up."""

import importlib
import sys

import pytest

import vellix

MODULE_ALL = [
    "__version__", "Service", "Book", "Sheet", "Cell", "Comment",
    "version", "column_number_to_letter", "get_letter_coordinate",
    "DEFAULT_ROW_HEIGHT", "DEFAULT_COLUMN_WIDTH", "readable",
]
READABLE_ALL = [
    "Finder", "ReadableSheet", "ReadableCell",
    "create_finder", "find_cell_by_coords", "find_value_by_coords", "find_cell_by_regex",
    "find_cell_by_str", "find_cell_by_letter", "find_cells_by_regex", "find_cells_by_str",
    "find_cells_for_rows_by_regex", "find_cells_for_cols_by_regex", "find_cells_multi_regex",
    "find_cells_between_regex", "find_cells_range_rows", "find_cells_range_cols",
    "find_values_by_col_rows", "find_values_by_row_cols",
]
SUBINTERPRETER_ERROR = (
    "PyO3 modules do not yet support subinterpreters, see "
    "https://docs.python.org/3/howto/isolating-extensions.html"
)


def test_members_are_listed_in_registration_order(ext):
    assert ext.__all__ == MODULE_ALL
    assert [name for name in vars(ext) if name in MODULE_ALL] == MODULE_ALL  # attributes set in that order
    assert vellix.__all__ == MODULE_ALL


def test_readable_members_are_listed_in_registration_order(ext):
    readable = ext.readable
    assert readable.__all__ == READABLE_ALL
    assert all(hasattr(readable, name) for name in READABLE_ALL)
    assert [f.__module__ for f in map(readable.__dict__.get, READABLE_ALL[3:])] == ["readable"] * 16


def test_module_and_submodule_names(ext):
    assert ext.__name__ == "vellix._vellix"
    assert ext.__doc__ == ""
    assert ext.readable.__name__ == "readable"
    assert ext.readable.__doc__ is None
    import vellix.readable
    from vellix.readable import Finder  # noqa: F401

    assert sys.modules["vellix.readable"] is ext.readable
    assert vellix.readable is ext.readable


def test_a_second_import_returns_the_same_module(ext):
    saved = sys.modules.pop("vellix._vellix")
    try:
        again = importlib.import_module("vellix._vellix")
    finally:
        sys.modules["vellix._vellix"] = saved
    assert again is ext
    assert again.readable is ext.readable


def test_package_reexports_the_extension(ext):
    from vellix import Book, get_letter_coordinate

    assert Book is ext.Book
    assert get_letter_coordinate is ext.get_letter_coordinate
    assert vellix.__version__ == "0.12.3"


def test_version_and_constants(ext):
    assert ext.version() == ext.__version__ == "0.12.3"
    assert type(ext.version()) is str
    assert (type(ext.DEFAULT_ROW_HEIGHT), ext.DEFAULT_ROW_HEIGHT) == (float, 20.0)
    assert (type(ext.DEFAULT_COLUMN_WIDTH), ext.DEFAULT_COLUMN_WIDTH) == (float, 22.5)


@pytest.mark.parametrize(
    "name, signature, doc",
    [
        ("version", "()",
         "Returns the version of the underlying tambrel library.\n\nReturns\n-------\n"
         "version : str\n  The version of the underlying tambrel library.\n"),
        ("column_number_to_letter", "(col)", "Преобразование номера колонки в букву."),
        ("get_letter_coordinate", "(row, col)", "Преобразование номера колонки в координату."),
    ],
)
def test_functions_carry_signature_and_doc(ext, name, signature, doc):
    f = getattr(ext, name)
    assert (f.__name__, f.__text_signature__, f.__doc__) == (name, signature, doc)
    assert f.__module__ == "vellix._vellix"
    assert f.__self__ is ext


def test_version_refuses_arguments(ext):
    with pytest.raises(TypeError, match="takes no arguments"):
        ext.version(1)


@pytest.mark.parametrize(
    "col, letters",
    [(0, ""), (1, "A"), (26, "Z"), (27, "AA"), (52, "AZ"), (53, "BA"), (702, "ZZ"), (703, "AAA"),
     (16384, "XFD"), (65535, "CRXO"), (True, "A"), (False, "")],
)
def test_column_number_to_letter(ext, col, letters):
    assert ext.column_number_to_letter(col) == letters
    assert ext.column_number_to_letter(col=col) == letters


@pytest.mark.parametrize(
    "args, kwargs, text",
    [((7, 2), {}, "B7"), ((), {"row": 7, "col": 0}, "7"), ((0, 2), {}, "B0"), ((7,), {"col": 28}, "AB7"),
     ((), {"col": 3, "row": 4294967295}, "C4294967295"), ((1, 65535), {}, "CRXO1")],
)
def test_get_letter_coordinate(ext, args, kwargs, text):
    assert ext.get_letter_coordinate(*args, **kwargs) == text


def _run_in_subinterpreter(code):
    """Runs code in a sub-interpreter that shares this process's extension
    state (a "legacy" one); returns the text of the RuntimeError it ends with."""
    try:
        import _interpreters as interpreters  # 3.13+
        interp = interpreters.create("legacy")
    except ImportError:
        import _xxsubinterpreters as interpreters
        try:
            interp = interpreters.create(isolated=False)  # 3.12
        except TypeError:
            interp = interpreters.create()
    try:
        try:
            failure = interpreters.run_string(interp, code)
        except interpreters.RunFailedError as exc:  # before 3.13
            failure = str(exc)
        else:
            failure = "" if failure is None else failure.msg
    finally:
        interpreters.destroy(interp)
    return failure.split("RESULT:", 1)[-1]


def test_a_second_interpreter_gets_import_error_every_time(ext):
    outcome = _run_in_subinterpreter(
        "import sys\n"
        f"sys.path[:0] = {sys.path!r}\n"
        "outcomes = []\n"
        "for attempt in range(2):\n"
        "    try:\n"
        "        import vellix._vellix\n"
        "        outcomes.append('imported')\n"
        "    except ImportError as e:\n"
        "        outcomes.append(type(e).__name__ + ': ' + str(e))\n"
        "raise RuntimeError('RESULT:' + '|'.join(outcomes))\n"
    )
    assert outcome.split("|") == ["ImportError: " + SUBINTERPRETER_ERROR] * 2
    assert ext.get_letter_coordinate(7, 2) == "B7"
    assert sys.modules["vellix._vellix"] is ext


def test_failed_start_up_caches_nothing_and_the_next_import_succeeds(run_python):
    done = run_python(
        f"""
        import builtins, sys
        real_import = builtins.__import__

        def refuse_sys(name, *args, **kwargs):
            if name == "sys":
                raise ImportError("sys refused")
            return real_import(name, *args, **kwargs)

        builtins.__import__ = refuse_sys
        try:
            import vellix
        except ImportError as e:
            assert str(e) == "sys refused", e
        else:
            raise AssertionError("start-up did not fail")
        finally:
            builtins.__import__ = real_import
        assert "vellix._vellix" not in sys.modules
        assert "vellix.readable" not in sys.modules

        import vellix
        import vellix.readable
        assert vellix._vellix.__all__ == {MODULE_ALL!r}, vellix._vellix.__all__
        assert sys.modules["vellix.readable"] is vellix._vellix.readable
        assert vellix._vellix.column_number_to_letter(28) == "AB"
        print("ok")
        """
    )
    assert (done.returncode, done.stdout, done.stderr) == (0, "ok\n", "")
