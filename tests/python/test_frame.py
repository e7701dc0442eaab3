"""The binding frame shared by every entry: argument matching and conversion
with CPython's messages, the argument-name prefix, PanicException, and
reference counts that stay put across calls."""

import sys

import pytest

import vellix

f = vellix._vellix.column_number_to_letter
g = vellix._vellix.get_letter_coordinate

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
    pytest.param(g, (1, 2, 3, 4), {}, TypeError,
                 "get_letter_coordinate() takes 2 positional arguments but 4 were given", id="too-many-of-two"),
    pytest.param(f, (), {"column": 1}, TypeError, "column_number_to_letter() got an unexpected keyword argument 'column'",
                 id="unexpected-keyword"),
    pytest.param(f, (), {"col": 1, "x": 2}, TypeError,
                 "column_number_to_letter() got an unexpected keyword argument 'x'", id="unexpected-beside-valid"),
    pytest.param(f, (1,), {"col": 2}, TypeError, "column_number_to_letter() got multiple values for argument 'col'",
                 id="positional-and-keyword"),
    pytest.param(g, (1, 2), {"row": 3}, TypeError, "get_letter_coordinate() got multiple values for argument 'row'",
                 id="multiple-values-first"),
    pytest.param(f, (1, 2), {"x": 1}, TypeError, "column_number_to_letter() takes 1 positional arguments but 2 were given",
                 id="arity-checked-before-keywords"),
    pytest.param(g, (1.5,), {"y": 1}, TypeError, "get_letter_coordinate() got an unexpected keyword argument 'y'",
                 id="keywords-checked-before-conversion"),
    pytest.param(g, ("x",), {}, TypeError, "get_letter_coordinate() missing 1 required positional argument: 'col'",
                 id="missing-checked-before-conversion"),
]


@pytest.mark.parametrize("fn, args, kwargs, exc_type, message", MATCHING)
def test_argument_matching_errors(raises_exactly, fn, args, kwargs, exc_type, message):
    raises_exactly(exc_type, message, fn, *args, **kwargs)


# Integer fields: (function, args, exception type or None, message or result)
INTEGERS = [
    pytest.param(f, (2.0,), TypeError, "argument 'col': 'float' object cannot be interpreted as an integer",
                 id="float-col"),
    pytest.param(f, ("1",), TypeError, "argument 'col': 'str' object cannot be interpreted as an integer", id="str-col"),
    pytest.param(f, (None,), TypeError, "argument 'col': 'NoneType' object cannot be interpreted as an integer",
                 id="none-col"),
    pytest.param(g, (1.0, 1), TypeError, "argument 'row': 'float' object cannot be interpreted as an integer",
                 id="float-row"),
    pytest.param(g, (1, [1]), TypeError, "argument 'col': 'list' object cannot be interpreted as an integer",
                 id="second-argument-named"),
    pytest.param(f, (-1,), OverflowError, OUT_OF_RANGE, id="negative-col"),
    pytest.param(f, (65536,), OverflowError, OUT_OF_RANGE, id="col-above-u16"),
    pytest.param(g, (-1, 1), OverflowError, OUT_OF_RANGE, id="negative-row"),
    pytest.param(g, (4294967296, 1), OverflowError, OUT_OF_RANGE, id="row-above-u32"),
    pytest.param(f, (2**70,), OverflowError, "Python int too large to convert to C long", id="beyond-c-long"),
    pytest.param(f, (-(2**70),), OverflowError, "Python int too large to convert to C long", id="below-c-long"),
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


def test_type_error_without_cause_stays_without(raises_exactly):
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
