"""Book: adding, copying and finding sheets, and JSON and dict export."""

import gc
import json
import sys
import types

import pytest

import vellix


def test_add_and_find_sheets():
    book = vellix.Book()
    assert (book.sheets, repr(book), book.to_dict()) == ([], "Book, sheets: 0", {"sheets": []})
    book.add_sheet("A")
    book.add_sheet("B", "hidden")
    book.add_sheet(name="A", sheet_state="")
    with pytest.raises(TypeError, match="^argument 'sheet_state': 'NoneType' object cannot be cast as 'str'$"):
        book.add_sheet("C", None)  # refused, not taken for the default
    assert ([(s.name, s.sheet_state) for s in book.sheets], repr(book)) == (
        [("A", "visible"), ("B", "hidden"), ("A", "")], "Book, sheets: 3")
    found = {w: getattr(book.get_sheet_name(w), "sheet_state", None) for w in ["A", "B", "a", " A", ""]}
    assert found == {"A": "visible", "B": "hidden", "a": None, " A": None, "": None}
    at = {i: getattr(book.get_sheet_index(i), "name", None) for i in [0, 1, True, 3, -1]}
    assert at == {0: "A", 1: "B", True: "B", 3: None, -1: None}


def test_copy_sheet_names_by_count_and_shares_existing_cells_only():
    book = vellix.Book()
    source = book.add_sheet("A")
    book.add_sheet("B")
    source.cell(1, 1, "old")
    copy = book.copy_sheet(source)
    assert [s.name for s in book.sheets] == ["A", "B", "Sheet 3"]
    copy.cell(1, 1, "changed")
    copy.cell(2, 2, "new")
    assert [(c.row, c.value) for c in source.cells] == [(1, "changed")]
    assert vellix.Book().copy_sheet(source).name == "Sheet 1"


def test_sheet_objects_are_distinct_live_views_that_outlive_the_book():
    book = vellix.Book()
    book.add_sheet("A")
    first, second = book.sheets[0], book.sheets[0]
    assert first is not second and first != second and hash(first) != hash(second)
    first.name = "X"
    assert (second.name, book.get_sheet_name("A"), book.get_sheet_name("X").name) == ("X", None, "X")
    del book
    gc.collect()
    first.cell(1, 1, "kept")
    assert repr(second) == "Sheet (X) cells: 1"


def test_json_and_dict_show_every_sheet_in_order():
    book = vellix.Book()
    book.add_sheet("Dätä").cell(1, 1, "7").formula = "=A2+1"
    book.add_sheet("Empty", "hidden").add_merge_cells(1, 2, 1, 3)
    dims = '"row_dimensions":{"rows":{},"default_height":20.0},"column_dimensions":{"columns":{},"default_width":22.5}'
    assert book.to_json() == (
        '{"sheets":[{"name":"Dätä","sheet_state":"visible","merge_cells":[],"cells":[{"row":1,"column":1,"value":7,'
        '"formula":"=A2+1","data_type":"f"}],' + dims + ',"comments":[]},{"name":"Empty","sheet_state":"hidden",'
        '"merge_cells":[[1,2,1,3]],"cells":[],' + dims + ',"comments":[]}]}')
    assert book.to_dict() == json.loads(book.to_json())


def test_to_dict_looks_json_up_anew_and_passes_its_errors(monkeypatch):
    book = vellix.Book()
    monkeypatch.setitem(sys.modules, "json", types.SimpleNamespace(loads=lambda text: ("fake", text)))
    assert book.to_dict() == ("fake", '{"sheets":[]}')
    sys.modules["json"].loads = lambda text: 1 / 0
    with pytest.raises(ZeroDivisionError):
        book.to_dict()
    monkeypatch.setitem(sys.modules, "json", None)
    with pytest.raises(ImportError):
        book.to_dict()


def test_to_dict_releases_the_book_lock_before_json_loads_runs(run_python):
    # A loads that writes the same book deadlocks while the lock is held, hence a child process with a time limit.
    done = run_python("""
        import json, vellix
        book, loads = vellix.Book(), json.loads
        json.loads = lambda text: (book.add_sheet("inside"), loads(text))[1]
        print(book.to_dict(), repr(book))""")
    assert (done.returncode, done.stdout.strip()) == (0, "{'sheets': []} Book, sheets: 1"), done.stderr
