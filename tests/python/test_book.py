"""Book: adding, copying and looking up sheets, JSON and dict export, and the
class conventions that Book, Sheet, Cell and Comment share."""

import gc
import json
import subprocess
import sys
import textwrap
import types
import weakref

import pytest

import vellix


def book_with(*names):
    book = vellix.Book()
    for name in names:
        book.add_sheet(name)
    return book


def test_new_book_is_empty():
    book = vellix.Book()
    assert book.sheets == []
    assert repr(book) == "Book, sheets: 0"
    assert book.to_json() == '{"sheets":[]}'
    assert book.to_dict() == {"sheets": []}


@pytest.mark.parametrize(
    "call, state",
    [
        (lambda b: b.add_sheet("A"), "visible"),
        (lambda b: b.add_sheet("A", "hidden"), "hidden"),
        (lambda b: b.add_sheet(name="A", sheet_state="x"), "x"),
        (lambda b: b.add_sheet("A", sheet_state=""), ""),
    ],
)
def test_add_sheet_takes_any_state_and_defaults_to_visible(call, state):
    book = vellix.Book()
    sheet = call(book)
    assert (sheet.name, sheet.sheet_state) == ("A", state)
    assert repr(book) == "Book, sheets: 1"


def test_sheets_keep_order_and_duplicate_names():
    book = book_with("A", "B", "A")
    assert [s.name for s in book.sheets] == ["A", "B", "A"]
    assert repr(book) == "Book, sheets: 3"


@pytest.mark.parametrize(
    "wanted, expected_state",
    [("A", "first"), ("B", "visible"), ("a", None), (" A", None), ("A ", None), ("", None)],
)
def test_get_sheet_name_matches_first_exact_name(wanted, expected_state):
    book = vellix.Book()
    book.add_sheet("A", "first")
    book.add_sheet("B")
    book.add_sheet("A", "second")
    found = book.get_sheet_name(wanted)
    assert (found.sheet_state if found is not None else None) == expected_state


@pytest.mark.parametrize(
    "idx, expected",
    [(0, "A"), (1, "B"), (True, "B"), (2, None), (-1, None), (-(2**31), None), (2**31 - 1, None)],
)
def test_get_sheet_index_has_no_counting_from_the_end(idx, expected):
    found = book_with("A", "B").get_sheet_index(idx)
    assert (found.name if found is not None else None) == expected


def test_copy_sheet_names_by_count_and_shares_existing_cells_only():
    book = book_with("A", "B")
    source = book.sheets[0]
    source.cell(1, 1, "old")
    copy = book.copy_sheet(source)
    assert copy.name == "Sheet 3"
    assert [s.name for s in book.sheets] == ["A", "B", "Sheet 3"]

    copy.cell(1, 1, "changed")  # an existing cell is shared
    assert source.cell(1, 1).value == "changed"
    copy.cell(2, 2, "new")  # a new cell is not
    assert [(c.row, c.column) for c in source.cells] == [(1, 1)]


def test_copy_sheet_from_another_book():
    other = book_with("X", "Y")
    book = vellix.Book()
    copy = book.copy_sheet(other.sheets[1])
    assert copy.name == "Sheet 1"
    assert repr(book) == "Book, sheets: 1" and repr(other) == "Book, sheets: 2"


def test_sheet_objects_are_distinct_live_views():
    book = book_with("A")
    first, second = book.sheets[0], book.sheets[0]
    assert first is not second
    assert first != second
    first.name = "X"
    assert second.name == "X"
    assert book.get_sheet_name("X") is not None
    assert book.get_sheet_name("A") is None


def test_sheet_outlives_its_book():
    book = book_with("A")
    sheet = book.sheets[0]
    del book
    gc.collect()
    sheet.cell(1, 1, "still here")
    assert repr(sheet) == "Sheet (A) cells: 1"


def filled_book():
    book = vellix.Book()
    sheet = book.add_sheet("Data", "visible")
    sheet.cell(2, 1, "12")
    sheet.cell(1, 2, "1.5")
    sheet.cell(1, 1, "TRUE")
    sheet.cell(3, 1, "2024-01-02 03:04:05")
    sheet.cell(3, 2, 'say "hi"')
    sheet.cell(4, 1)
    formula = sheet.cell(5, 1, "7")
    formula.formula = "=A2+1"
    formula.style = "s1"
    sheet.add_merge_cells(1, 2, 1, 3)
    sheet.add_comment(1, 1, "note", "ann")
    book.add_sheet("Empty", "hidden")
    return book


FILLED_JSON = (
    '{"sheets":[{"name":"Data","sheet_state":"visible","merge_cells":[[1,2,1,3]],"cells":['
    '{"row":1,"column":1,"value":true,"data_type":"b"},'
    '{"row":1,"column":2,"value":1.5,"data_type":"n"},'
    '{"row":2,"column":1,"value":12,"data_type":"n"},'
    '{"row":3,"column":1,"value":"2024-01-02T03:04:05","data_type":"d"},'
    '{"row":3,"column":2,"value":"say \\"hi\\"","data_type":"s"},'
    '{"row":4,"column":1,"value":null,"data_type":"s"},'
    '{"row":5,"column":1,"value":7,"formula":"=A2+1","data_type":"f","style_id":"s1"}],'
    '"row_dimensions":{"rows":{},"default_height":20.0},'
    '"column_dimensions":{"columns":{},"default_width":22.5},'
    '"comments":[{"row":1,"column":1,"author":"ann","text":"note"}]},'
    '{"name":"Empty","sheet_state":"hidden","merge_cells":[],"cells":[],'
    '"row_dimensions":{"rows":{},"default_height":20.0},'
    '"column_dimensions":{"columns":{},"default_width":22.5},"comments":[]}]}'
)


def test_to_json_of_a_filled_book():
    assert filled_book().to_json() == FILLED_JSON


def test_to_dict_is_json_loads_of_to_json():
    book = filled_book()
    assert book.to_dict() == json.loads(book.to_json())
    assert book.to_dict()["sheets"][0]["comments"] == [{"row": 1, "column": 1, "author": "ann", "text": "note"}]


def test_to_dict_looks_json_up_on_every_call(monkeypatch):
    book = book_with("A")
    seen = []
    fake = types.ModuleType("json")
    fake.loads = lambda text: seen.append(text) or "from fake"
    monkeypatch.setitem(sys.modules, "json", fake)
    assert book.to_dict() == "from fake"
    fake.loads = lambda text: "replaced loads"
    assert book.to_dict() == "replaced loads"
    assert seen == [book.to_json()]


def test_to_dict_passes_errors_of_json_unchanged(monkeypatch):
    book = book_with("A")

    class Boom(Exception):
        pass

    def loads(text):
        raise Boom(text)

    monkeypatch.setattr(json, "loads", loads)
    with pytest.raises(Boom):
        book.to_dict()
    monkeypatch.setitem(sys.modules, "json", None)
    with pytest.raises(ImportError):
        book.to_dict()


def test_to_dict_releases_the_book_lock_before_json_loads_runs():
    # A loads that writes the same book would deadlock if the lock were still
    # held, so the check runs in a child process with a time limit.
    code = textwrap.dedent(
        """
        import json, vellix
        book = vellix.Book()
        book.add_sheet("A")
        real = json.loads
        def loads(text):
            book.add_sheet("added inside loads")
            return real(text)
        json.loads = loads
        d = book.to_dict()
        print(len(d["sheets"]), repr(book))
        """
    )
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "1 Book, sheets: 2"


# (call, exception type, message): argument matching and conversion over
# every Book method that takes arguments.
BOOK_ARGUMENT_ERRORS = [
    (lambda b: b.add_sheet(), TypeError, "Book.add_sheet() missing 1 required positional argument: 'name'"),
    (lambda b: b.add_sheet(5), TypeError, "argument 'name': 'int' object cannot be cast as 'str'"),
    (lambda b: b.add_sheet("a", None), TypeError, "argument 'sheet_state': 'NoneType' object cannot be cast as 'str'"),
    (lambda b: b.add_sheet("a", x=1), TypeError, "Book.add_sheet() got an unexpected keyword argument 'x'"),
    (lambda b: b.add_sheet("a", "b", "c"), TypeError,
     "Book.add_sheet() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda b: b.add_sheet("a", name="b"), TypeError, "Book.add_sheet() got multiple values for argument 'name'"),
    (lambda b: b.copy_sheet(), TypeError, "Book.copy_sheet() missing 1 required positional argument: 'sheet'"),
    (lambda b: b.copy_sheet(b), TypeError, "argument 'sheet': 'Book' object cannot be cast as 'Sheet'"),
    (lambda b: b.copy_sheet(None), TypeError, "argument 'sheet': 'NoneType' object cannot be cast as 'Sheet'"),
    (lambda b: b.get_sheet_index(2**31), OverflowError, "out of range integral type conversion attempted"),
    (lambda b: b.get_sheet_index(-(2**31) - 1), OverflowError, "out of range integral type conversion attempted"),
    (lambda b: b.get_sheet_index(2**70), OverflowError, "Python int too large to convert to C long"),
    (lambda b: b.get_sheet_index(1.0), TypeError, "argument 'idx': 'float' object cannot be interpreted as an integer"),
    (lambda b: b.get_sheet_index("0"), TypeError, "argument 'idx': 'str' object cannot be interpreted as an integer"),
    (lambda b: b.get_sheet_index(0, 1), TypeError, "Book.get_sheet_index() takes 1 positional arguments but 2 were given"),
    (lambda b: b.get_sheet_name(b"A"), TypeError, "argument 'name': 'bytes' object cannot be cast as 'str'"),
    (lambda b: b.get_sheet_name(), TypeError, "Book.get_sheet_name() missing 1 required positional argument: 'name'"),
    (lambda b: b.to_json(1), TypeError, "Book.to_json() takes no arguments (1 given)"),
    (lambda b: b.to_dict(x=1), TypeError, "Book.to_dict() takes no keyword arguments"),
    (lambda b: vellix.Book(1), TypeError, "Book.__new__() takes 0 positional arguments but 1 was given"),
    (lambda b: vellix.Book(x=1), TypeError, "Book.__new__() got an unexpected keyword argument 'x'"),
]


@pytest.mark.parametrize("call, exc, message", BOOK_ARGUMENT_ERRORS)
def test_book_argument_errors_leave_the_book_unchanged(call, exc, message):
    book = book_with("A")
    before = book.to_json()
    with pytest.raises(exc) as raised:
        call(book)
    assert type(raised.value) is exc
    assert str(raised.value) == message
    assert book.to_json() == before


def test_copy_sheet_of_an_exclusively_borrowed_sheet_is_refused():
    book = book_with("A")
    sheet = book.sheets[0]

    class CopyWhileBorrowed:
        def __index__(self):
            book.copy_sheet(sheet)
            return 1

    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        sheet.add_merge_cells(CopyWhileBorrowed(), 1, 1, 1)
    assert repr(book) == "Book, sheets: 1"
    assert book.copy_sheet(sheet).name == "Sheet 2"


def new_comment():
    sheet = vellix.Book().add_sheet("S")
    sheet.add_comment(1, 1, "t", "a")
    return sheet.comments[0]


# Class conventions: (class, constructible, text signature, a way to get an instance)
CLASSES = [
    (vellix.Book, True, "()", vellix.Book),
    (vellix.Sheet, False, None, lambda: vellix.Book().add_sheet("S")),
    (vellix.Cell, False, None, lambda: vellix.Book().add_sheet("S").cell(1, 1)),
    (vellix.Comment, False, None, new_comment),
]


@pytest.mark.parametrize("cls, constructible, signature, make", CLASSES, ids=lambda v: getattr(v, "__name__", None))
def test_class_conventions(cls, constructible, signature, make):
    name = cls.__name__
    assert cls.__module__ == "vellix"
    assert cls.__qualname__ == name
    assert cls.__doc__ is None
    assert getattr(cls, "__text_signature__", None) == signature
    if not constructible:
        with pytest.raises(TypeError, match=rf"^cannot create 'vellix\.{name}' instances$"):
            cls()
    with pytest.raises(TypeError, match="is not an acceptable base type"):
        type("Derived", (cls,), {})
    instance = make()
    assert type(instance) is cls
    assert not hasattr(instance, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(instance)
    assert not gc.is_tracked(instance)


METHOD_SIGNATURES = [
    (vellix.Book.add_sheet, '($self, name, sheet_state="visible")'),
    (vellix.Book.copy_sheet, "($self, sheet)"),
    (vellix.Book.get_sheet_index, "($self, idx)"),
    (vellix.Book.get_sheet_name, "($self, name)"),
    (vellix.Book.to_json, "($self)"),
    (vellix.Book.to_dict, "($self)"),
]


@pytest.mark.parametrize("method, signature", METHOD_SIGNATURES, ids=lambda v: getattr(v, "__name__", None))
def test_method_docstrings_are_text_signatures(method, signature):
    assert method.__text_signature__ == signature
    assert method.__doc__ is None


def test_book_calls_do_not_leak_references():
    book = book_with("A", "B")
    name = "".join(["look", "up"])  # a fresh str whose count only this test moves
    sheet = book.sheets[0]
    gc.collect()
    type_refs = sys.getrefcount(vellix.Sheet)
    name_refs = sys.getrefcount(name)
    sheet_refs = sys.getrefcount(sheet)
    for _ in range(1000):
        book.get_sheet_name(name)
        book.get_sheet_index(1)
        book.sheets
        book.copy_sheet(sheet)
        book.add_sheet(name, name)
        book.to_json()
        book.to_dict()
        repr(book)
    gc.collect()
    assert sys.getrefcount(name) == name_refs
    assert sys.getrefcount(sheet) == sheet_refs
    type_refs_after = sys.getrefcount(vellix.Sheet)  # outside the assert, whose rewriting holds what it reads
    assert type_refs_after == type_refs
    result, plain = book.to_dict(), {}
    assert sys.getrefcount(result) == sys.getrefcount(plain)
    for _ in range(100):
        with pytest.raises(TypeError):
            book.add_sheet(name, None)
    assert sys.getrefcount(name) == name_refs
