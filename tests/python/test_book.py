"""Book: adding, copying and finding sheets, JSON and dict export, and the
class conventions Book, Sheet, Cell and Comment share."""

import gc
import json
import subprocess
import sys
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
    assert (book.sheets, repr(book), book.to_json(), book.to_dict()) == ([], "Book, sheets: 0", '{"sheets":[]}',
                                                                          {"sheets": []})


def test_add_and_find_sheets():
    book = vellix.Book()
    book.add_sheet("A")
    book.add_sheet("B", "hidden")
    book.add_sheet(name="A", sheet_state="")
    assert [(s.name, s.sheet_state) for s in book.sheets] == [("A", "visible"), ("B", "hidden"), ("A", "")]
    assert repr(book) == "Book, sheets: 3"
    found = {w: getattr(book.get_sheet_name(w), "sheet_state", None) for w in ["A", "B", "a", " A", ""]}
    assert found == {"A": "visible", "B": "hidden", "a": None, " A": None, "": None}
    at = {i: getattr(book.get_sheet_index(i), "name", None) for i in [0, 1, True, 3, -1, -(2**31)]}
    assert at == {0: "A", 1: "B", True: "B", 3: None, -1: None, -(2**31): None}


def test_copy_sheet_names_by_count_and_shares_existing_cells_only():
    book = book_with("A", "B")
    source = book.sheets[0]
    source.cell(1, 1, "old")
    copy = book.copy_sheet(source)
    assert [s.name for s in book.sheets] == ["A", "B", "Sheet 3"]
    copy.cell(1, 1, "changed")
    copy.cell(2, 2, "new")
    assert [(c.row, c.value) for c in source.cells] == [(1, "changed")]
    assert vellix.Book().copy_sheet(source).name == "Sheet 1"


def test_sheet_objects_are_distinct_live_views_that_outlive_the_book():
    book = book_with("A")
    first, second = book.sheets[0], book.sheets[0]
    assert first is not second and first != second
    first.name = "X"
    assert (second.name, book.get_sheet_name("A"), book.get_sheet_name("X").name) == ("X", None, "X")
    del book
    gc.collect()
    first.cell(1, 1, "kept")
    assert repr(second) == "Sheet (X) cells: 1"


def test_json_and_dict_of_a_filled_book():
    book = vellix.Book()
    sheet = book.add_sheet("Data")
    for row, col, text in [(2, 1, "12"), (1, 2, "1.5"), (1, 1, "TRUE"), (3, 1, "2024-01-02 03:04:05"),
                           (3, 2, 'say "hi"'), (4, 1, None)]:
        sheet.cell(row, col, text)
    sheet.cell(5, 1, "7").formula = "=A2+1"
    sheet.add_merge_cells(1, 2, 1, 3)
    sheet.add_comment(1, 1, "note", "ann")
    book.add_sheet("Empty", "hidden")
    dims = '"row_dimensions":{"rows":{},"default_height":20.0},"column_dimensions":{"columns":{},"default_width":22.5}'
    assert book.to_json() == (
        '{"sheets":[{"name":"Data","sheet_state":"visible","merge_cells":[[1,2,1,3]],"cells":['
        '{"row":1,"column":1,"value":true,"data_type":"b"},{"row":1,"column":2,"value":1.5,"data_type":"n"},'
        '{"row":2,"column":1,"value":12,"data_type":"n"},'
        '{"row":3,"column":1,"value":"2024-01-02T03:04:05","data_type":"d"},'
        '{"row":3,"column":2,"value":"say \\"hi\\"","data_type":"s"},{"row":4,"column":1,"value":null,"data_type":"s"},'
        '{"row":5,"column":1,"value":7,"formula":"=A2+1","data_type":"f"}],' + dims
        + ',"comments":[{"row":1,"column":1,"author":"ann","text":"note"}]},'
        '{"name":"Empty","sheet_state":"hidden","merge_cells":[],"cells":[],' + dims + ',"comments":[]}]}')
    assert book.to_dict() == json.loads(book.to_json())


def test_to_dict_looks_json_up_anew_and_passes_its_errors(monkeypatch):
    book = book_with("A")
    fake = types.ModuleType("json")
    fake.loads = lambda text: ("fake", text)
    monkeypatch.setitem(sys.modules, "json", fake)
    assert book.to_dict() == ("fake", book.to_json())
    fake.loads = lambda text: 1 / 0
    with pytest.raises(ZeroDivisionError):
        book.to_dict()
    monkeypatch.setitem(sys.modules, "json", None)
    with pytest.raises(ImportError):
        book.to_dict()


def test_to_dict_releases_the_book_lock_before_json_loads_runs():
    # A loads that writes the same book deadlocks if the lock is still held,
    # so this runs in a child process with a time limit.
    code = """if True:
        import json, vellix
        book = vellix.Book()
        loads = json.loads
        json.loads = lambda text: (book.add_sheet("inside"), loads(text))[1]
        print(book.to_dict(), repr(book))"""
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert (done.returncode, done.stdout.strip()) == (0, "{'sheets': []} Book, sheets: 1"), done.stderr


@pytest.mark.parametrize("call, exc, message", [
    (lambda b: b.add_sheet(), TypeError, "Book.add_sheet() missing 1 required positional argument: 'name'"),
    (lambda b: b.add_sheet(5), TypeError, "argument 'name': 'int' object cannot be cast as 'str'"),
    (lambda b: b.add_sheet("a", None), TypeError, "argument 'sheet_state': 'NoneType' object cannot be cast as 'str'"),
    (lambda b: b.add_sheet("a", x=1), TypeError, "Book.add_sheet() got an unexpected keyword argument 'x'"),
    (lambda b: b.add_sheet("a", "b", "c"), TypeError,
     "Book.add_sheet() takes from 1 to 2 positional arguments but 3 were given"),
    (lambda b: b.copy_sheet(b), TypeError, "argument 'sheet': 'Book' object cannot be cast as 'Sheet'"),
    (lambda b: b.get_sheet_index(2**31), OverflowError, "out of range integral type conversion attempted"),
    (lambda b: b.get_sheet_index(2**70), OverflowError, "Python int too large to convert to C long"),
    (lambda b: b.get_sheet_index(1.0), TypeError, "argument 'idx': 'float' object cannot be interpreted as an integer"),
    (lambda b: b.get_sheet_name(name=b"A"), TypeError, "argument 'name': 'bytes' object cannot be cast as 'str'"),
    (lambda b: vellix.Book(1), TypeError, "Book.__new__() takes 0 positional arguments but 1 was given"),
    (lambda b: vellix.Book(x=1), TypeError, "Book.__new__() got an unexpected keyword argument 'x'"),
])
def test_argument_errors_leave_the_book_unchanged(call, exc, message):
    book = book_with("A")
    with pytest.raises(exc) as raised:
        call(book)
    assert (type(raised.value), str(raised.value)) == (exc, message)
    assert book.to_json() == book_with("A").to_json()


def test_copy_sheet_of_an_exclusively_borrowed_sheet_is_refused():
    book = book_with("A")
    sheet = book.sheets[0]

    class CopiesWhileBorrowed:
        def __index__(self):
            book.copy_sheet(sheet)

    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        sheet.add_merge_cells(CopiesWhileBorrowed(), 1, 1, 1)
    assert (repr(book), book.copy_sheet(sheet).name) == ("Book, sheets: 1", "Sheet 2")


def a_comment():
    sheet = vellix.Book().add_sheet("S")
    sheet.add_comment(1, 1, "t", "a")
    return sheet.comments[0]


@pytest.mark.parametrize("cls, signature, make", [
    (vellix.Book, "()", vellix.Book),
    (vellix.Sheet, None, lambda: vellix.Book().add_sheet("S")),
    (vellix.Cell, None, lambda: vellix.Book().add_sheet("S").cell(1, 1)),
    (vellix.Comment, None, a_comment),
], ids=["Book", "Sheet", "Cell", "Comment"])
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


def test_method_docstrings_are_text_signatures():
    texts = {m: getattr(vellix.Book, m).__text_signature__ for m in
             ["add_sheet", "copy_sheet", "get_sheet_index", "get_sheet_name", "to_json", "to_dict"]}
    assert texts == {"add_sheet": '($self, name, sheet_state="visible")', "copy_sheet": "($self, sheet)",
                     "get_sheet_index": "($self, idx)", "get_sheet_name": "($self, name)", "to_json": "($self)",
                     "to_dict": "($self)"}


def test_book_calls_do_not_leak_references():
    book = book_with("A", "B")
    name, sheet = "".join(["look", "up"]), book.sheets[0]
    gc.collect()
    before = [sys.getrefcount(o) for o in (name, sheet, vellix.Sheet)]
    for _ in range(1000):
        book.get_sheet_name(name), book.get_sheet_index(1), book.sheets, book.copy_sheet(sheet)
        book.add_sheet(name, name), book.to_json(), book.to_dict(), repr(book)
        with pytest.raises(TypeError):
            book.add_sheet(name, None)
    gc.collect()
    after = [sys.getrefcount(o) for o in (name, sheet, vellix.Sheet)]  # outside the assert, which holds what it reads
    assert after == before
