"""Service: the subclassable base class holding conn_db and a book of sheets."""

import gc
import sys
import weakref

import pytest

import vellix
from vellix import Service


class Conn:
    pass


class Report(Service):
    pass


class Outer:
    class Inner(Service):
        pass


class Summary(Service):
    def __init__(self, conn_db):
        self.calls = []

    def summary_0(self, sheets, /, **kwargs):
        self.calls.append((sheets, kwargs))
        return super().summary_0(sheets, **kwargs)


@pytest.mark.parametrize("conn_db", [None, 0, "dsn", Conn(), [1, 2]])
@pytest.mark.parametrize("by_keyword", [False, True])
def test_conn_db_is_handed_back_by_identity(conn_db, by_keyword):
    service = Service(conn_db=conn_db) if by_keyword else Service(conn_db)
    assert service._conn_db is conn_db
    assert service._conn_db is service._conn_db


def test_conn_db_is_released_with_the_service():
    conn = Conn()
    ref = weakref.ref(conn)
    service = Service(conn)
    del conn
    gc.collect()
    assert ref() is service._conn_db
    del service
    assert ref() is None


def test_subclass_instances_release_conn_db_too():
    conn = Conn()
    ref = weakref.ref(conn)
    report = Report(conn)
    report.extra = report  # a cycle through the subclass's own __dict__
    del conn, report
    gc.collect()
    assert ref() is None


def test_constructing_many_services_leaks_no_reference():
    conn = Conn()
    before = sys.getrefcount(conn)
    for _ in range(1000):
        Service(conn)
        Report(conn_db=conn)
    assert sys.getrefcount(conn) == before


@pytest.mark.parametrize("cls", [Service, Report])
def test_a_new_service_has_no_sheets(cls):
    service = cls(None)
    assert service._sheets == []
    assert service.to_json() == '{"sheets":[]}'
    assert service.to_dict() == {"sheets": []}
    assert type(service) is cls


@pytest.mark.parametrize("cls, text", [
    (Service, "Service, sheets: {n}"),
    (Report, "Report, sheets: {n}"),
    (Outer.Inner, "Outer.Inner, sheets: {n}"),
])
def test_repr_shows_the_qualified_name_of_the_own_class(cls, text):
    service = cls(None)
    assert repr(service) == text.format(n=0)
    service._add_sheet("a")
    service._add_sheet("b", "hidden")
    assert repr(service) == text.format(n=2)


def test_sheet_members_behave_as_books_do():
    service, book = Service(None), vellix.Book()
    for holder, add, copy in ((service, service._add_sheet, service._copy_sheet),
                              (book, book.add_sheet, book.copy_sheet)):
        first = add("a")
        first.cell(1, 1, "12")
        add("b", sheet_state="hidden")
        copied = copy(first)
        assert copied.name == "Sheet 3"
    assert service.to_json() == book.to_json()
    assert service.to_dict() == book.to_dict()
    assert [s.name for s in service._sheets] == ["a", "b", "Sheet 3"]


def test_sheets_are_live_views():
    service = Service(None)
    service._add_sheet("a")
    service._get_sheet_name("a").cell(2, 2, "x")
    assert service._sheets[0].get_value_cell(2, 2) == "x"
    found = service._get_sheet_name("a")
    assert (found.name, found.sheet_state) == ("a", "visible")


@pytest.mark.parametrize("idx, name", [(0, "a"), (1, "b"), (2, None), (-1, None), (-2147483648, None)])
def test_get_sheet_index(idx, name):
    service = Service(None)
    service._add_sheet("a")
    service._add_sheet("b")
    found = service._get_sheet_index(idx)
    assert (found.name if found is not None else None) == name


def test_get_sheet_name_takes_the_first_of_that_exact_name():
    service = Service(None)
    service._add_sheet("a").cell(1, 1, "first")
    service._add_sheet("a").cell(1, 1, "second")
    assert service._get_sheet_name("a").get_value_cell(1, 1) == "first"
    assert service._get_sheet_name("A") is None


@pytest.mark.parametrize("make_source", [
    lambda: vellix.Book().add_sheet("src"),
    lambda: Service(None)._add_sheet("src"),
    lambda: Report(None)._add_sheet("src"),
], ids=["from-book", "from-service", "from-subclass"])
def test_copy_sheet_accepts_sheets_of_any_holder_and_shares_cells(make_source):
    source = make_source()
    source.cell(1, 1, "shared")
    service = Service(None)
    service._add_sheet("own")
    copy = service._copy_sheet(source)
    assert copy.name == "Sheet 2"
    assert repr(service) == "Service, sheets: 2"
    source.cell(1, 1, "edited")
    assert copy.get_value_cell(1, 1) == "edited"
    source.cell(2, 2, "added later")
    assert copy.get_value_cell(2, 2) == ""


# ---- hooks ----

NOT_SUMMARY = "Method 'summary_0' is not implemented"
NOT_FMT = "Method 'fmt_0' is not implemented"


@pytest.mark.parametrize("args, kwargs, exc, message", [
    (([],), {}, NotImplementedError, NOT_SUMMARY),
    (([],), {"key": 1, "sheets": 2}, NotImplementedError, NOT_SUMMARY),
    ((type("L", (list,), {})(),), {}, NotImplementedError, NOT_SUMMARY),
    (("x",), {}, TypeError, "argument 'sheets': 'str' object cannot be cast as 'list'"),
    (((1, 2),), {}, TypeError, "argument 'sheets': 'tuple' object cannot be cast as 'list'"),
    ((), {}, TypeError, "Service.summary_0() missing 1 required positional argument: 'sheets'"),
    ((), {"sheets": []}, TypeError, "Service.summary_0() missing 1 required positional argument: 'sheets'"),
    (([], []), {}, TypeError, "Service.summary_0() takes 1 positional arguments but 2 were given"),
])
def test_summary_hook(args, kwargs, exc, message):
    with pytest.raises(exc) as info:
        Service(None).summary_0(*args, **kwargs)
    assert type(info.value) is exc and str(info.value) == message


@pytest.mark.parametrize("args, kwargs, exc, message", [
    ((), {}, NotImplementedError, NOT_FMT),
    ((), {"a": 1, "b": None}, NotImplementedError, NOT_FMT),
    ((1,), {}, TypeError, "Service._fmt_0() takes 0 positional arguments but 1 was given"),
    ((1, 2), {"a": 1}, TypeError, "Service._fmt_0() takes 0 positional arguments but 2 were given"),
])
def test_fmt_hook(args, kwargs, exc, message):
    with pytest.raises(exc) as info:
        Service(None)._fmt_0(*args, **kwargs)
    assert type(info.value) is exc and str(info.value) == message


def test_an_override_is_called_and_its_super_call_reaches_the_base_hook():
    service = Summary("db")
    sheets = [service._add_sheet("a")]
    with pytest.raises(NotImplementedError, match=f"^{NOT_SUMMARY}$"):
        service.summary_0(sheets, fmt="x")
    assert service.calls == [(sheets, {"fmt": "x"})]
    assert service._conn_db == "db"


def test_an_override_that_returns_replaces_the_hook():
    class Done(Service):
        def _fmt_0(self, **kwargs):
            return ("fmt", kwargs, self._conn_db)

    assert Done(7)._fmt_0(a=1) == ("fmt", {"a": 1}, 7)


# ---- construction ----

@pytest.mark.parametrize("call, message", [
    (lambda: Service(), "Service.__new__() missing 1 required positional argument: 'conn_db'"),
    (lambda: Service(1, 2), "Service.__new__() takes 1 positional arguments but 2 were given"),
    (lambda: Service(db=1), "Service.__new__() got an unexpected keyword argument 'db'"),
    (lambda: Service(1, conn_db=1), "Service.__new__() got multiple values for argument 'conn_db'"),
])
def test_constructor_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_a_subclass_init_with_other_arguments_needs_its_own_new():
    class Plain(Service):
        def __init__(self, conn_db, label):
            self.label = label

    with pytest.raises(TypeError, match=r"^Service\.__new__\(\) takes 1 positional arguments but 2 were given$"):
        Plain("db", "label")

    class WithNew(Plain):
        def __new__(cls, conn_db, label):
            return super().__new__(cls, conn_db)

    service = WithNew("db", "label")
    assert (service._conn_db, service.label, type(service)) == ("db", "label", WithNew)


def test_subclass_instances_have_dict_and_weakrefs_but_the_base_does_not():
    report = Report(None)
    report.note = "n"
    assert weakref.ref(report)() is report
    base = Service(None)
    with pytest.raises(AttributeError):
        base.note = "n"
    with pytest.raises(TypeError):
        weakref.ref(base)


@pytest.mark.parametrize("name", ["_conn_db", "_sheets"])
def test_read_only_attributes(name):
    service = Service(None)
    with pytest.raises(AttributeError):
        setattr(service, name, 1)


def test_class_surface():
    assert Service.__text_signature__ == "(conn_db)"
    assert Service.__doc__ is None
    assert Service.__module__ == "vellix"
    assert Service.summary_0.__text_signature__ == "($self, sheets, /, **kwargs)"
    assert Service._fmt_0.__text_signature__ == "($self, **kwargs)"


@pytest.mark.parametrize("call, exc, message", [
    (lambda s: s._add_sheet(5), TypeError, "argument 'name': 'int' object cannot be cast as 'str'"),
    (lambda s: s._add_sheet("a", None), TypeError, "argument 'sheet_state': 'NoneType' object cannot be cast as 'str'"),
    (lambda s: s._add_sheet(), TypeError, "Service._add_sheet() missing 1 required positional argument: 'name'"),
    (lambda s: s._copy_sheet(5), TypeError, "argument 'sheet': 'int' object cannot be cast as 'Sheet'"),
    (lambda s: s._get_sheet_index(2**31), OverflowError, "out of range integral type conversion attempted"),
    (lambda s: s._get_sheet_name(b"a"), TypeError, "argument 'name': 'bytes' object cannot be cast as 'str'"),
])
def test_sheet_member_argument_errors_name_the_service(call, exc, message):
    service = Service(None)
    with pytest.raises(exc) as info:
        call(service)
    assert type(info.value) is exc and str(info.value) == message
    assert service._sheets == []
