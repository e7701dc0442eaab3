"""The binding frame: argument matching and conversion, borrows, class conventions, PanicException, leaks."""

import contextlib
import datetime
import gc
import sys
import types
import weakref

import numpy
import pytest

import vellix
from vellix import readable

f = vellix.column_number_to_letter
g = vellix.get_letter_coordinate
_book = vellix.Book()
_sheet = _book.add_sheet("S")
_sheet.add_comment(1, 1, "t", "a")
OUT_OF_RANGE = "out of range integral type conversion attempted"


def give(value):  # returns value, or raises it when it is an exception
    if isinstance(value, BaseException):
        raise value
    return value


def index(value):  # an int stand-in through __index__, as numpy integers are
    return type("Index", (), {"__index__": lambda self: give(value)})()


def seq(items, length):  # a sequence through __getitem__ only, whose length lies or fails
    return type("Seq", (), {"__len__": lambda self: give(length), "__getitem__": lambda self, i: items[i]})()


# (callable, args, kwargs, TypeError text); arity and keywords are checked before any argument is converted.
MATCHING = [
    (f, (), {}, "column_number_to_letter() missing 1 required positional argument: 'col'"),
    (g, (), {}, "get_letter_coordinate() missing 2 required positional arguments: 'row' and 'col'"),
    (g, (), {"col": 1}, "get_letter_coordinate() missing 1 required positional argument: 'row'"),
    (_sheet.add_comment, (1,), {},
     "Sheet.add_comment() missing 3 required positional arguments: 'col', 'text', and 'author'"),
    (_book.add_sheet, ("a", "b", 1), {}, "Book.add_sheet() takes from 1 to 2 positional arguments but 3 were given"),
    (vellix.Book, (1,), {}, "Book.__new__() takes 0 positional arguments but 1 was given"),
    (f, (), {"col": 1, "x": 2}, "column_number_to_letter() got an unexpected keyword argument 'x'"),
    (readable.Finder, ([],), {"sheets": []}, "Finder.__new__() got multiple values for argument 'sheets'"),
    (f, (1, 2), {"x": 1}, "column_number_to_letter() takes 1 positional arguments but 2 were given"),
    (g, ("x",), {}, "get_letter_coordinate() missing 1 required positional argument: 'col'"),
]


@pytest.mark.parametrize("fn, args, kwargs, message", MATCHING)
def test_argument_matching_errors(raises_exactly, fn, args, kwargs, message):
    raises_exactly(TypeError, message, fn, *args, **kwargs)


def height(val):
    return _sheet.set_height_row(1, val) or _sheet.get_height_by_row(1)


def hidden(val):
    return _sheet.set_hidden_row(1, val) or _sheet.get_hidden_by_row(1)


def sheet_named(name):
    return vellix.Book().add_sheet(name).name


CELLS = [dict(row=r, column=1, value=f"v{r}", formula=None, data_type="s", style_id=None) for r in range(1, 5)]


def rows(rows):
    return readable.find_values_by_col_rows(1, rows, CELLS)


Real = type("Real", (), {"__float__": lambda self: 1.25})
Name = type("Name", (str,), {})
MyTypeError = type("MyTypeError", (TypeError,), {})


def fake(module, name, bool_value=True):  # an object whose type looks like numpy's `name` by module and name
    return type(name, (), {"__module__": module, "__bool__": lambda self: give(bool_value)})()


# (exception type or None, message or result, callable, *args), one rule after another
CONVERSIONS = [
    (TypeError, "argument 'col': 'float' object cannot be interpreted as an integer", f, 2.0),
    (TypeError, "argument 'col': 'list' object cannot be interpreted as an integer", g, 1, [1]),
    (TypeError, "argument 'row': 'str' object cannot be interpreted as an integer", g, "x", 2**70),
    (OverflowError, OUT_OF_RANGE, g, -1, 1),
    (OverflowError, OUT_OF_RANGE, g, 4294967296, 1),
    (OverflowError, OUT_OF_RANGE, f, 65536),
    (OverflowError, "Python int too large to convert to C long", f, 2**70),
    (None, "CRXO4294967295", g, 4294967295, 65535),
    (None, "AB", f, index(28)),
    # keyword names need not be interned
    (None, "AA", lambda: f(**{"".join(["c", "o", "l"]): 27})),
    (MyTypeError, "subclass", f, index(MyTypeError("subclass"))),
    (None, "A", f, True),
    (None, "7", g, 7, 0),
    (None, None, _book.get_sheet_index, -(2**31)),
    (OverflowError, OUT_OF_RANGE, _book.get_sheet_index, 2**31),
    (OverflowError, OUT_OF_RANGE, _book.get_sheet_index, -(2**31) - 1),
    (None, 3.0, height, 3),
    (None, 1.25, height, Real()),
    (TypeError, "argument 'val': must be real number, not str", height, "3"),
    (None, False, hidden, numpy.False_),
    (None, True, hidden, fake("numpy", "bool_")),
    (TypeError, "argument 'val': 'int' object cannot be cast as 'bool'", hidden, 1),
    (TypeError, "argument 'val': 'bool_' object cannot be cast as 'bool'", hidden, fake("numpyish", "bool_")),
    (TypeError, "argument 'val': 'int64' object cannot be cast as 'bool'", hidden, fake("numpy", "int64")),
    (AttributeError, "object of type 'bool' does not define a '__bool__' conversion", hidden,
     type("bool", (), {"__module__": "numpy"})()),
    (ZeroDivisionError, "failed", hidden, fake("numpy", "bool_", ZeroDivisionError("failed"))),
    (None, "Лист 1", sheet_named, "Лист 1"),
    (None, "sub", sheet_named, Name("sub")),
    (TypeError, "argument 'name': 'int' object cannot be cast as 'str'", sheet_named, 5),
    (UnicodeEncodeError, "'utf-8' codec can't encode character '\\ud800' in position 1: surrogates not allowed",
     sheet_named, "a\ud800"),
    (TypeError, "argument 'sheet': 'Book' object cannot be cast as 'Sheet'", _book.copy_sheet, _book),
    (TypeError, "argument 'sheets': 'tuple' object cannot be cast as 'list'", readable.Finder, ()),
    (None, ["v1", "v3"], rows, [3, 1]),
    (None, ["v4"], rows, seq([4], TypeError("no length"))),
    (None, ["v4"], rows, seq([4], sys.maxsize)),
    (TypeError, "argument 'rows': Can't extract `str` to `Vec`", rows, "12"),
    (TypeError, "argument 'rows': Can't extract `str` to `Vec`", rows, Name("1")),
    (TypeError, "argument 'rows': 'set' object cannot be cast as 'Sequence'", rows, {1}),
    (TypeError, "argument 'rows': 'float' object cannot be interpreted as an integer", rows, [1, 2.0]),
    (TypeError, "argument 'name_list': 'int' object cannot be cast as 'str'", readable.Finder([]).get_sheets_with_names,
     ["A", 1]),
]


@pytest.mark.parametrize("case", CONVERSIONS)
def test_conversion_rules(raises_exactly, case):
    exc_type, expected, fn, *args = case
    if exc_type is None:
        result = fn(*args)
        assert (type(result), result) == (type(expected), expected)
    else:
        raises_exactly(exc_type, expected, fn, *args)


def test_a_renamed_type_error_keeps_the_cause(raises_exactly):
    original, root = TypeError("no index here"), KeyError("root cause")
    original.__cause__ = root
    exc = raises_exactly(TypeError, "argument 'col': no index here", f, index(original))
    assert exc is not original and exc.__cause__ is root and exc.__suppress_context__
    assert raises_exactly(TypeError, "argument 'row': plain", g, index(TypeError("plain")), 1).__cause__ is None


def test_borrows_are_taken_before_conversion_and_shared_ones_nest():
    book = vellix.Book()
    sheet = book.add_sheet("S")
    seen = []

    class During:  # an index whose conversion runs Python code while the entry holds its borrow of the sheet
        def __init__(self, *uses):
            self.uses = uses

        def __index__(self):
            for use in self.uses:
                try:
                    use()
                except RuntimeError as e:
                    seen.append(str(e))
            return 1

    sheet.add_comment(During(lambda: sheet.name, lambda: sheet.add_merge_cells(1, 1, 1, 1),
                             lambda: book.copy_sheet(sheet)), 1, "t", "a")
    # Shared borrows nest, and the conversion runs before the sheet is locked.
    sheet.cell(During(lambda: sheet.add_comment(1, 1, "t", "a"), lambda: sheet.cell(9, 9, "inner")), 2, "outer")
    assert seen == ["Already mutably borrowed", "Already borrowed", "Already mutably borrowed", "Already borrowed"]
    assert ([(c.row, c.column, c.value) for c in sheet.cells], len(sheet.comments), sheet.merge_cells, repr(book)) == (
        [(1, 2, "outer"), (9, 9, "inner")], 1, [], "Book, sheets: 1")


# (write, exception type, message): entries convert and refuse deletion before they touch data, and give the
# borrow back on failure.
FAILED_WRITES = [
    (lambda o: o.sheet.cell(1, 1, 5), TypeError, "argument 'value': 'int' object cannot be cast as 'str'"),
    (lambda o: o.sheet.add_merge_cells(1, 2, 3, 65536), OverflowError, OUT_OF_RANGE),
    (lambda o: setattr(o.sheet, "name", None), TypeError, "argument 'name': 'NoneType' object cannot be cast as 'str'"),
    (lambda o: delattr(o.sheet, "name"), AttributeError, "can't delete attribute"),
    (lambda o: o.cell.set_value_integer(2**31), OverflowError, OUT_OF_RANGE),
    (lambda o: o.cell.set_value_datetime(datetime.date(2024, 1, 2)), TypeError,
     "argument 'value': 'date' object cannot be cast as 'datetime'"),
    (lambda o: o.cell.set_value_datetime(datetime.datetime(2024, 1, 2, tzinfo=datetime.timezone.utc)), TypeError,
     "argument 'value': expected a datetime without tzinfo"),
    (lambda o: setattr(o.cell, "formula", 5), TypeError, "argument 'value': 'int' object cannot be cast as 'str'"),
    (lambda o: setattr(o.cell, "data_type", "n"), AttributeError, None),
    (lambda o: setattr(o.comment, "text", 1), TypeError, "argument 'val': 'int' object cannot be cast as 'str'"),
    (lambda o: delattr(o.comment, "author"), AttributeError, "can't delete attribute"),
    (lambda o: setattr(o.comment, "row", 5), AttributeError, None),
]


@pytest.mark.parametrize("write, exc, message", FAILED_WRITES)
def test_failed_writes_change_nothing(write, exc, message):
    book = vellix.Book()
    o = types.SimpleNamespace(sheet=book.add_sheet("S"))
    o.sheet.add_comment(3, 2, "hello", "ann")
    o.cell, o.comment = o.sheet.cell(1, 1, "9"), o.sheet.comments[0]
    o.cell.formula = "=X"

    def everything():  # reading through each object also shows its borrow was given back
        return book.to_json(), repr(o.sheet), o.cell.is_formula, o.comment.text

    before = everything()
    with pytest.raises(exc) as raised:
        write(o)
    assert type(raised.value) is exc and message in (None, str(raised.value))
    assert everything() == before


@pytest.mark.parametrize("cls, signature, make", [
    (vellix.Book, "()", vellix.Book),
    (vellix.Sheet, None, lambda: _sheet),
    (vellix.Cell, None, lambda: _sheet.cell(1, 1)),
    (vellix.Comment, None, lambda: _sheet.comments[0]),
])
def test_class_conventions(cls, signature, make):
    name = cls.__name__
    assert (cls.__module__, cls.__qualname__, cls.__doc__) == ("vellix", name, None)
    assert getattr(cls, "__text_signature__", None) == signature
    if signature is None:
        with pytest.raises(TypeError, match=rf"^cannot create 'vellix\.{name}' instances$"):
            cls()
    with pytest.raises(TypeError, match="is not an acceptable base type"):
        type("Derived", (cls,), {})
    instance = make()
    assert type(instance) is cls and not hasattr(instance, "__dict__") and not gc.is_tracked(instance)
    with pytest.raises(TypeError):
        weakref.ref(instance)


def test_internal_failure_is_a_panic_exception_outside_the_exception_tree(capfd):
    import _testcapi  # CPython's C-API test module, built with the interpreter

    _testcapi.set_nomemory(0, 1)  # fail only the next allocation: the result str "AB3"
    try:
        g(3, 28)
    except BaseException as exc:
        caught = exc
    finally:
        _testcapi.remove_mem_hooks()
    panic = type(caught)
    assert (panic.__module__, panic.__qualname__, panic.__mro__[1:], caught.args) == (
        "pyo3_runtime", "PanicException", (BaseException, object), ("Python API call failed",))
    assert "SystemExit" in panic.__doc__ and "MemoryError" in capfd.readouterr().err  # the failed call is printed
    assert g(3, 28) == "AB3"
    # One raised by Python code that an entry called passes back unchanged, reported with its Python stack.
    raised = panic("raised in __index__")
    with pytest.raises(panic) as info:
        f(index(raised))
    err = capfd.readouterr().err
    assert info.value is raised and "PanicException: raised in __index__" in err and ", in give" in err


def test_entries_leave_reference_counts_unchanged():
    text, big, stamp, inner = "".join(["te", "xt"]), 2**40 + 7, datetime.datetime(2024, 1, 2), TypeError("inner")
    inner.__cause__ = cause = KeyError("kept")
    idx, bad, grown, sheet = index(300), index(inner), vellix.Book(), vellix.Book().add_sheet(text)
    sheet.add_comment(1, 1, text, text)
    cell, comment = sheet.cell(1, 1), sheet.comments[0]
    calls = [  # a call that raises ends its line
        lambda: g(row=10**6 + 3, col=idx), lambda: f(big), lambda: g(1, 2, text), lambda: f(bad),
        lambda: (grown.add_sheet(text, text), grown.copy_sheet(sheet), grown.get_sheet_name(text), grown.sheets[:1],
                 grown.get_sheet_index(1), repr(grown), vellix.Book().to_dict(), grown.add_sheet(text, None)),
        lambda: (sheet.cell(1, 1, text), sheet.cells, sheet.comments, sheet.merge_cells, repr(sheet),
                 setattr(sheet, "name", text), sheet.set_sheet_state(text), sheet.cell(big, 1, text)),
        lambda: (setattr(cell, "formula", text), cell.set_value_datetime(stamp), cell.value, cell.formula,
                 cell.letter, cell.is_formula, repr(cell), cell.set_value_integer(text)),
        lambda: (setattr(comment, "text", text), comment.coordinate, comment.author, setattr(comment, "author", 1)),
    ]
    held = (text, big, stamp, idx, cause, inner, bad, sheet, cell, comment, vellix.Sheet, vellix.Cell, vellix.Comment)

    def counts_after(rounds):
        for _ in range(rounds):
            for call in calls:
                with contextlib.suppress(TypeError, OverflowError):
                    call()
        inner.__traceback__ = None
        gc.collect()
        return [sys.getrefcount(o) for o in held]

    before = counts_after(1)
    assert counts_after(200) == before
    result, fresh = g(10**6 + 3, idx), "".join(["KN", "1000003"])
    assert sys.getrefcount(result) == sys.getrefcount(fresh)  # the result is owned by its caller alone
