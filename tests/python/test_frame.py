"""The binding frame shared by every entry: argument matching and conversion
with CPython's messages, the argument-name prefix, PanicException, and
reference counts that stay put across calls."""

import sys
import types

import numpy
import pytest

import vellix
from vellix import readable

f = vellix._vellix.column_number_to_letter
g = vellix._vellix.get_letter_coordinate
_book = vellix.Book()
_sheet = _book.add_sheet("S")

OUT_OF_RANGE = "out of range integral type conversion attempted"


class Index:
    """An int stand-in through __index__, as numpy integers are."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Raising:
    """Its __index__ raises the given exception."""

    def __init__(self, exc):
        self.exc = exc

    def __index__(self):
        raise self.exc


class MyTypeError(TypeError):
    pass


# (function, args, kwargs, exception type, message)
MATCHING = [
    pytest.param(f, (), {}, TypeError, "column_number_to_letter() missing 1 required positional argument: 'col'",
                 id="missing-one"),
    pytest.param(g, (), {}, TypeError,
                 "get_letter_coordinate() missing 2 required positional arguments: 'row' and 'col'", id="missing-two"),
    pytest.param(g, (), {"col": 1}, TypeError, "get_letter_coordinate() missing 1 required positional argument: 'row'",
                 id="missing-first-of-two"),
    pytest.param(g, (1,), {}, TypeError, "get_letter_coordinate() missing 1 required positional argument: 'col'",
                 id="missing-second-of-two"),
    pytest.param(f, (1, 2), {}, TypeError, "column_number_to_letter() takes 1 positional arguments but 2 were given",
                 id="too-many"),
    pytest.param(f, (), {"column": 1}, TypeError, "column_number_to_letter() got an unexpected keyword argument 'column'",
                 id="unexpected-keyword"),
    pytest.param(f, (), {"col": 1, "x": 2}, TypeError,
                 "column_number_to_letter() got an unexpected keyword argument 'x'", id="unexpected-beside-valid"),
    pytest.param(f, (1,), {"col": 2}, TypeError, "column_number_to_letter() got multiple values for argument 'col'",
                 id="positional-and-keyword"),
    pytest.param(f, (1, 2), {"x": 1}, TypeError, "column_number_to_letter() takes 1 positional arguments but 2 were given",
                 id="arity-checked-before-keywords"),
    pytest.param(g, (1.5,), {"y": 1}, TypeError, "get_letter_coordinate() got an unexpected keyword argument 'y'",
                 id="keywords-checked-before-conversion"),
    pytest.param(g, ("x",), {}, TypeError, "get_letter_coordinate() missing 1 required positional argument: 'col'",
                 id="missing-checked-before-conversion"),
    pytest.param(_sheet.add_comment, (1,), {}, TypeError,
                 "Sheet.add_comment() missing 3 required positional arguments: 'col', 'text', and 'author'",
                 id="missing-three-method"),
    pytest.param(_book.add_sheet, ("a", "b", "c"), {}, TypeError,
                 "Book.add_sheet() takes from 1 to 2 positional arguments but 3 were given", id="too-many-with-default"),
    pytest.param(_book.add_sheet, (), {"sheet_state": "x"}, TypeError,
                 "Book.add_sheet() missing 1 required positional argument: 'name'", id="default-given-required-missing"),
    pytest.param(vellix.Book, (1,), {}, TypeError, "Book.__new__() takes 0 positional arguments but 1 was given",
                 id="constructor-one-was-given"),
    pytest.param(vellix.Book, (), {"x": 1}, TypeError, "Book.__new__() got an unexpected keyword argument 'x'",
                 id="constructor-keyword"),
    pytest.param(readable.Finder, (), {}, TypeError, "Finder.__new__() missing 1 required positional argument: 'sheets'",
                 id="constructor-missing"),
    pytest.param(readable.Finder, ([],), {"sheets": []}, TypeError,
                 "Finder.__new__() got multiple values for argument 'sheets'", id="constructor-multiple-values"),
]


@pytest.mark.parametrize("fn, args, kwargs, exc_type, message", MATCHING)
def test_argument_matching_errors(raises_exactly, fn, args, kwargs, exc_type, message):
    raises_exactly(exc_type, message, fn, *args, **kwargs)


# Integer fields: (function, args, exception type or None, message or result)
INTEGERS = [
    pytest.param(f, (2.0,), TypeError, "argument 'col': 'float' object cannot be interpreted as an integer",
                 id="float-col"),
    pytest.param(f, ("1",), TypeError, "argument 'col': 'str' object cannot be interpreted as an integer", id="str-col"),
    pytest.param(g, (1.0, 1), TypeError, "argument 'row': 'float' object cannot be interpreted as an integer",
                 id="float-row"),
    pytest.param(g, (1, [1]), TypeError, "argument 'col': 'list' object cannot be interpreted as an integer",
                 id="second-argument-named"),
    pytest.param(f, (-1,), OverflowError, OUT_OF_RANGE, id="negative-col"),
    pytest.param(f, (65536,), OverflowError, OUT_OF_RANGE, id="col-above-u16"),
    pytest.param(g, (-1, 1), OverflowError, OUT_OF_RANGE, id="negative-row"),
    pytest.param(g, (4294967296, 1), OverflowError, OUT_OF_RANGE, id="row-above-u32"),
    pytest.param(f, (2**70,), OverflowError, "Python int too large to convert to C long", id="beyond-c-long"),
    pytest.param(g, ("x", 2**70), TypeError, "argument 'row': 'str' object cannot be interpreted as an integer",
                 id="first-failure-wins"),
    pytest.param(f, (Index(28),), None, "AB", id="index-protocol"),
    pytest.param(f, (Index(-5),), OverflowError, OUT_OF_RANGE, id="index-out-of-range"),
    pytest.param(f, (True,), None, "A", id="bool-is-one"),
    pytest.param(g, (False, 1), None, "A0", id="bool-is-zero"),
    pytest.param(g, (4294967295, 65535), None, "CRXO4294967295", id="both-maxima"),
]


@pytest.mark.parametrize("fn, args, exc_type, expected", INTEGERS)
def test_integer_conversion(raises_exactly, fn, args, exc_type, expected):
    if exc_type is None:
        assert fn(*args) == expected
    else:
        raises_exactly(exc_type, expected, fn, *args)


def test_type_error_is_renamed_and_keeps_its_cause(raises_exactly):
    original = TypeError("no index here")
    root = KeyError("root cause")
    original.__cause__ = root
    exc = raises_exactly(TypeError, "argument 'col': no index here", f, Raising(original))
    assert exc is not original
    assert exc.__cause__ is root
    assert exc.__suppress_context__
    exc = raises_exactly(TypeError, "argument 'row': plain", g, Raising(TypeError("plain")), 1)
    assert exc.__cause__ is None


@pytest.mark.parametrize(
    "exc",
    [MyTypeError("subclass"), ValueError("value"), OverflowError("big"), RuntimeError("rt"), AttributeError("attr")],
    ids=lambda e: type(e).__name__,
)
def test_other_errors_pass_unchanged(exc):
    with pytest.raises(BaseException) as info:
        f(Raising(exc))
    assert info.value is exc


def test_keyword_names_need_not_be_interned():
    name = "".join(["c", "o", "l"])
    assert f(**{name: 27}) == "AA"


# ---- the other conversion rules, each through one entry that uses it ---------

class Real:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Name(str):
    pass


def fake_type(module, name, **attrs):
    """A class that looks like numpy's type `name` by its module and name."""
    return type(name, (), dict(attrs, __module__=module))


class Seq:
    """A sequence through __getitem__ only, with a length that lies or fails."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        return self.items[i]


def hidden_row(val):
    sheet = vellix.Book().add_sheet("S")
    sheet.set_hidden_row(1, val)
    return sheet.get_hidden_by_row(1)


def row_height(val):
    sheet = vellix.Book().add_sheet("S")
    sheet.set_height_row(1, val)
    return sheet.get_height_by_row(1)


def sheet_named(name):
    return vellix.Book().add_sheet(name).name


def sheet_at(idx):
    book = vellix.Book()
    book.add_sheet("first")
    sheet = book.get_sheet_index(idx)
    return None if sheet is None else sheet.name


CELLS = [types.SimpleNamespace(row=r, column=1, value=f"v{r}", formula=None, data_type="s", style_id=None)
         for r in range(1, 5)]


def values_for_rows(rows):
    return readable.find_values_by_col_rows(1, rows, CELLS)


def sheets_named(name_list):
    finder = readable.Finder([dict(name=n, sheet_state="visible", merge_cells=[], cells=[]) for n in "AB"])
    return [sheet.name for sheet in finder.get_sheets_with_names(name_list)]


def finder_sheets(sheets):
    return len(readable.Finder(sheets).sheets)


NumpyLikeBool = fake_type("numpy", "bool_", __bool__=lambda self: True)
NumpyBoolWithoutBool = fake_type("numpy", "bool")
NumpyBoolFailing = fake_type("numpy", "bool_", __bool__=lambda self: 1 / 0)
NotNumpyBool = fake_type("numpyish", "bool_", __bool__=lambda self: True)
NumpyInt = fake_type("numpy", "int64", __bool__=lambda self: True)

# (entry, value, exception type or None, message or result)
CONVERSIONS = [
    pytest.param(sheet_named, "Лист 1", None, "Лист 1", id="text-utf8"),
    pytest.param(sheet_named, Name("sub"), None, "sub", id="text-subclass"),
    pytest.param(sheet_named, 5, TypeError, "argument 'name': 'int' object cannot be cast as 'str'", id="text-int"),
    pytest.param(sheet_named, None, TypeError, "argument 'name': 'NoneType' object cannot be cast as 'str'",
                 id="text-none"),
    pytest.param(sheet_named, "a\ud800", UnicodeEncodeError,
                 "'utf-8' codec can't encode character '\\ud800' in position 1: surrogates not allowed",
                 id="text-lone-surrogate-unprefixed"),
    pytest.param(hidden_row, True, None, True, id="bool-true"),
    pytest.param(hidden_row, numpy.bool_(True), None, True, id="bool-numpy-true"),
    pytest.param(hidden_row, numpy.False_, None, False, id="bool-numpy-false"),
    pytest.param(hidden_row, NumpyLikeBool(), None, True, id="bool-recognised-by-module-and-name"),
    pytest.param(hidden_row, 1, TypeError, "argument 'val': 'int' object cannot be cast as 'bool'", id="bool-int"),
    pytest.param(hidden_row, NotNumpyBool(), TypeError, "argument 'val': 'bool_' object cannot be cast as 'bool'",
                 id="bool-other-module"),
    pytest.param(hidden_row, NumpyInt(), TypeError, "argument 'val': 'int64' object cannot be cast as 'bool'",
                 id="bool-other-numpy-type"),
    pytest.param(hidden_row, NumpyBoolWithoutBool(), AttributeError,
                 "object of type 'bool' does not define a '__bool__' conversion", id="bool-numpy-without-nb-bool"),
    pytest.param(hidden_row, NumpyBoolFailing(), ZeroDivisionError, "division by zero", id="bool-failing-nb-bool"),
    pytest.param(row_height, 3, None, 3.0, id="float-from-int"),
    pytest.param(row_height, 2.5, None, 2.5, id="float-exact"),
    pytest.param(row_height, Real(1.25), None, 1.25, id="float-dunder-float"),
    pytest.param(row_height, Index(7), None, 7.0, id="float-dunder-index"),
    pytest.param(row_height, "3", TypeError, "argument 'val': must be real number, not str", id="float-str"),
    pytest.param(row_height, 2**2000, OverflowError, "int too large to convert to float", id="float-huge-int"),
    pytest.param(sheet_at, 0, None, "first", id="index-zero"),
    pytest.param(sheet_at, -1, None, None, id="index-negative"),
    pytest.param(sheet_at, -(2**31), None, None, id="index-minimum"),
    pytest.param(sheet_at, 2**31, OverflowError, OUT_OF_RANGE, id="index-above-i32"),
    pytest.param(sheet_at, -(2**31) - 1, OverflowError, OUT_OF_RANGE, id="index-below-i32"),
    pytest.param(sheet_at, 1.0, TypeError, "argument 'idx': 'float' object cannot be interpreted as an integer",
                 id="index-float"),
    pytest.param(finder_sheets, [], None, 0, id="list-empty"),
    pytest.param(finder_sheets, 5, TypeError, "argument 'sheets': 'int' object cannot be cast as 'list'",
                 id="list-int"),
    pytest.param(finder_sheets, (), TypeError, "argument 'sheets': 'tuple' object cannot be cast as 'list'",
                 id="list-tuple"),
    pytest.param(values_for_rows, [3, 1], None, ["v1", "v3"], id="rows-list"),
    pytest.param(values_for_rows, (2,), None, ["v2"], id="rows-tuple"),
    pytest.param(values_for_rows, range(2, 4), None, ["v2", "v3"], id="rows-range"),
    pytest.param(values_for_rows, Seq([4], TypeError("no length")), None, ["v4"], id="rows-length-error-ignored"),
    pytest.param(values_for_rows, Seq([4], sys.maxsize), None, ["v4"], id="rows-length-overstated"),
    pytest.param(values_for_rows, "12", TypeError, "argument 'rows': Can't extract `str` to `Vec`", id="rows-str"),
    pytest.param(values_for_rows, Name("1"), TypeError, "argument 'rows': Can't extract `str` to `Vec`",
                 id="rows-str-subclass"),
    pytest.param(values_for_rows, {1}, TypeError, "argument 'rows': 'set' object cannot be cast as 'Sequence'",
                 id="rows-set"),
    pytest.param(values_for_rows, {1: 1}, TypeError, "argument 'rows': 'dict' object cannot be cast as 'Sequence'",
                 id="rows-dict"),
    pytest.param(values_for_rows, [1, 2.0], TypeError,
                 "argument 'rows': 'float' object cannot be interpreted as an integer", id="rows-bad-item"),
    pytest.param(values_for_rows, [1, -1], OverflowError, OUT_OF_RANGE, id="rows-item-out-of-range"),
    pytest.param(sheets_named, ["B", "C"], None, ["B"], id="texts-list"),
    pytest.param(sheets_named, "A", TypeError, "argument 'name_list': Can't extract `str` to `Vec`", id="texts-str"),
    pytest.param(sheets_named, ["A", 1], TypeError, "argument 'name_list': 'int' object cannot be cast as 'str'",
                 id="texts-bad-item"),
]


@pytest.mark.parametrize("entry, value, exc_type, expected", CONVERSIONS)
def test_conversion_rules(raises_exactly, entry, value, exc_type, expected):
    if exc_type is None:
        result = entry(value)
        assert (type(result), result) == (type(expected), expected)
    else:
        raises_exactly(exc_type, expected, entry, value)


def test_numpy_is_never_imported_by_a_conversion(run_python):
    done = run_python(
        """
        import sys
        import vellix
        sheet = vellix.Book().add_sheet("S")
        for val in (True, 1, None):
            try:
                sheet.set_hidden_row(1, val)
            except TypeError:
                pass
        print("numpy" in sys.modules)
        """
    )
    assert (done.returncode, done.stdout) == (0, "False\n"), done.stderr


def test_self_of_another_class_is_refused(raises_exactly):
    book = vellix.Book()
    sheet = book.add_sheet("S")
    raises_exactly(TypeError, "argument 'sheet': 'Book' object cannot be cast as 'Sheet'", book.copy_sheet, book)
    raises_exactly(TypeError, "argument 'sheet': 'int' object cannot be cast as 'Sheet'", book.copy_sheet, 1)
    assert book.copy_sheet(sheet).name == "Sheet 2"


def test_exclusive_borrow_refuses_reentrant_use(raises_exactly):
    # add_comment holds its sheet exclusively while it converts its arguments,
    # so Python code run by a conversion cannot use the sheet meanwhile.
    sheet = vellix.Book().add_sheet("S")
    seen = []

    class Reentrant:
        def __index__(self):
            for use in (lambda: sheet.name, lambda: sheet.add_merge_cells(1, 1, 1, 1)):
                try:
                    use()
                except RuntimeError as e:
                    seen.append(str(e))
            return 1

    sheet.add_comment(Reentrant(), 1, "text", "author")
    assert seen == ["Already mutably borrowed", "Already borrowed"]
    assert sheet.name == "S"  # the borrow was given back
    assert sheet.merge_cells == []


def test_shared_borrows_nest():
    sheet = vellix.Book().add_sheet("S")
    names = []

    class Reentrant:
        def __index__(self):
            names.append(sheet.name)
            sheet.set_height_row(2, 1.5)
            return 1

    sheet.set_height_row(Reentrant(), 4.0)
    assert names == ["S"]
    assert (sheet.get_height_by_row(1), sheet.get_height_by_row(2)) == (4.0, 1.5)


# ---- PanicException -------------------------------------------------------------


def test_panic_exception_sits_directly_under_base_exception(panic_exception):
    assert panic_exception.__mro__ == (panic_exception, BaseException, object)
    assert (panic_exception.__module__, panic_exception.__qualname__) == ("pyo3_runtime", "PanicException")
    assert "BaseException" in panic_exception.__doc__ and "SystemExit" in panic_exception.__doc__


def test_internal_failure_is_not_caught_as_exception(panic_exception, capfd):
    import _testcapi

    caught = None
    try:
        try:
            _testcapi.set_nomemory(0, 1)
            try:
                g(3, 28)
            finally:
                _testcapi.remove_mem_hooks()
        except Exception:  # must not match
            caught = "Exception"
    except BaseException as exc:
        caught = exc
    assert type(caught) is panic_exception
    assert caught.args == ("Python API call failed",)
    assert "MemoryError" in capfd.readouterr().err  # the failed call's error is printed
    assert g(3, 28) == "AB3"  # and the entry is usable again


def test_panic_from_python_code_passes_through_with_a_report(panic_exception, capfd):
    raised = panic_exception("raised in __index__")
    with pytest.raises(panic_exception) as info:
        f(Raising(raised))
    assert info.value is raised
    err = capfd.readouterr().err
    assert "PanicException" in err and "raised in __index__" in err
    assert "in __index__" in err  # the Python stack is shown


# ---- reference counts --------------------------------------------------------------


def test_calls_leave_reference_counts_unchanged():
    big = 2**40 + 7  # not a cached small int
    col = Index(300)
    row = 10**6 + 3
    before = [sys.getrefcount(o) for o in (big, col, row)]
    results = set()
    for _ in range(1000):
        results.add(g(row, col))
        results.add(g(row=row, col=col))
        with pytest.raises(OverflowError):
            f(big)
        with pytest.raises(TypeError):
            g(row, col, big)
    assert results == {"KN1000003"}
    assert [sys.getrefcount(o) for o in (big, col, row)] == before
    result, fresh = g(row, col), "".join(["KN", "1000003"])
    assert sys.getrefcount(result) == sys.getrefcount(fresh)  # the result is owned by its caller alone


def test_failed_conversions_release_the_errors():
    cause = KeyError("kept")
    exc = TypeError("inner")
    exc.__cause__ = cause
    bad = Raising(exc)
    before = (sys.getrefcount(cause), sys.getrefcount(exc), sys.getrefcount(bad))
    for _ in range(1000):
        try:
            f(bad)
        except TypeError as e:
            assert e.__cause__ is cause
    exc.__traceback__ = None
    assert (sys.getrefcount(cause), sys.getrefcount(exc), sys.getrefcount(bad)) == before
