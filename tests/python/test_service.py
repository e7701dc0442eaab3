"""Service: the subclassable base class holding conn_db and a book of sheets."""

import gc
import weakref

import pytest

import vellix
from vellix import Service


class Report(Service):
    pass


class Outer:
    class Inner(Service):
        pass


def test_conn_db_is_handed_back_by_identity_and_released_with_the_service():
    conn = Report(None)  # a subclass instance takes weak references and (below) new attributes
    ref = weakref.ref(conn)
    services = [Service(conn), Service(conn_db=conn), Report(conn)]
    assert [s._conn_db for s in services] == [conn] * 3 and Service(None)._conn_db is None
    services[2].cycle = services[2]  # a cycle through the subclass's own __dict__
    for name in ("cycle", "_conn_db", "_sheets"):  # the base has no __dict__, its own attributes no setter
        with pytest.raises(AttributeError):
            setattr(services[0], name, 1)
    with pytest.raises(TypeError):
        weakref.ref(services[0])
    del conn, services
    gc.collect()
    assert ref() is None


@pytest.mark.parametrize("cls, name", [(Service, "Service"), (Report, "Report"), (Outer.Inner, "Outer.Inner")])
def test_a_new_service_is_empty_and_its_repr_names_its_own_class(cls, name):
    service = cls(None)
    assert (type(service), service._sheets, service.to_json()) == (cls, [], '{"sheets":[]}')
    assert repr(service) == f"{name}, sheets: 0"
    service._add_sheet("a")
    assert repr(service) == f"{name}, sheets: 1"


def test_sheet_members_behave_as_the_books():
    service, book = Service(None), vellix.Book()
    for add, copy, source in ((service._add_sheet, service._copy_sheet, Report(None)._add_sheet("elsewhere")),
                              (book.add_sheet, book.copy_sheet, vellix.Book().add_sheet("elsewhere"))):
        add("a").cell(1, 1, "12")
        add("b", sheet_state="hidden")
        copy(source)
    assert (service.to_json(), service.to_dict()) == (book.to_json(), book.to_dict())
    assert [s.name for s in service._sheets] == ["a", "b", "Sheet 3"]
    assert [service._get_sheet_index(i) is None for i in (-1, 0, 2, 3)] == [True, False, False, True]
    assert service._get_sheet_name("b").sheet_state == "hidden"


NOT_SUMMARY, NOT_FMT = "Method 'summary_0' is not implemented", "Method 'fmt_0' is not implemented"
MISSING = "missing 1 required positional argument:"
# (member, args, kwargs, exception, message)
CALLS = [
    ("summary_0", ([],), {}, NotImplementedError, NOT_SUMMARY),
    ("summary_0", (type("L", (list,), {})(),), {"key": 1, "sheets": 2}, NotImplementedError, NOT_SUMMARY),
    ("summary_0", ("x",), {}, TypeError, "argument 'sheets': 'str' object cannot be cast as 'list'"),
    ("summary_0", (), {"sheets": []}, TypeError, f"Service.summary_0() {MISSING} 'sheets'"),
    ("_fmt_0", (), {"a": 1}, NotImplementedError, NOT_FMT),
    ("_fmt_0", (1,), {}, TypeError, "Service._fmt_0() takes 0 positional arguments but 1 was given"),
    ("_get_sheet_index", (), {}, TypeError, f"Service._get_sheet_index() {MISSING} 'idx'"),
]


@pytest.mark.parametrize("member, args, kwargs, exc, message", CALLS)
def test_hooks_raise_after_checking_their_arguments_and_errors_name_the_service(member, args, kwargs, exc, message):
    with pytest.raises(exc) as info:
        getattr(Service(None), member)(*args, **kwargs)
    assert (type(info.value), str(info.value)) == (exc, message)


def test_an_override_is_called_and_its_super_call_reaches_the_base_hook():
    class Summary(Service):
        def summary_0(self, sheets, /, **kwargs):
            self.calls = [(sheets, kwargs)]
            return super().summary_0(sheets, **kwargs)

    service = Summary("db")
    with pytest.raises(NotImplementedError, match=f"^{NOT_SUMMARY}$"):
        service.summary_0([], fmt="x")
    assert service.calls == [([], {"fmt": "x"})]


def test_a_subclass_init_with_other_arguments_needs_its_own_new():
    class Labelled(Service):
        def __init__(self, conn_db, label):
            self.label = label

    with pytest.raises(TypeError, match=r"^Service\.__new__\(\) takes 1 positional arguments but 2 were given$"):
        Labelled("db", "x")
