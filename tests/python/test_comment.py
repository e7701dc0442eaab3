"""Comment: a live view of one comment of a sheet."""

import gc
import re
import sys

import pytest

import vellix


def sheet_with_comment():
    book = vellix.Book()
    sheet = book.add_sheet("S")
    sheet.add_comment(3, 2, "hello", "ann")
    return book, sheet


def fields(comment):
    return (comment.row, comment.column, comment.coordinate, comment.author, comment.text)


def test_comment_reads_what_add_comment_stored_and_has_the_default_repr():
    _, sheet = sheet_with_comment()
    sheet.add_comment(4294967295, 65535, "", "")
    first, second = sheet.comments
    assert fields(first) == (3, 2, (3, 2), "ann", "hello")
    assert fields(second) == (4294967295, 65535, (4294967295, 65535), "", "")
    assert re.fullmatch(r"<vellix\.Comment object at 0x[0-9a-f]+>", repr(first))


@pytest.mark.parametrize("attribute", ["text", "author"])
def test_edits_reach_the_sheet_and_its_json(attribute):
    book, sheet = sheet_with_comment()
    setattr(sheet.comments[0], attribute, 'ünï\n"x"')
    assert getattr(sheet.comments[0], attribute) == 'ünï\n"x"'
    assert book.to_dict()["sheets"][0]["comments"][0][attribute] == 'ünï\n"x"'


@pytest.mark.parametrize("change, exc, message", [
    (lambda c: setattr(c, "text", None), TypeError, "argument 'val': 'NoneType' object cannot be cast as 'str'"),
    (lambda c: setattr(c, "author", 5), TypeError, "argument 'val': 'int' object cannot be cast as 'str'"),
    (lambda c: setattr(c, "text", "\udfff"), UnicodeEncodeError, None),
    (lambda c: delattr(c, "author"), AttributeError, "can't delete attribute"),
    (lambda c: setattr(c, "row", 5), AttributeError, None),
    (lambda c: setattr(c, "coordinate", (1, 1)), AttributeError, None),
])
def test_failed_edits_leave_the_comment_unchanged(change, exc, message):
    _, sheet = sheet_with_comment()
    comment = sheet.comments[0]
    with pytest.raises(exc) as raised:
        change(comment)
    assert type(raised.value) is exc
    assert message is None or str(raised.value) == message
    assert fields(comment) == (3, 2, (3, 2), "ann", "hello")


def test_comment_views_share_one_comment_and_outlive_the_sheet():
    book, sheet = sheet_with_comment()
    one, two = sheet.comments[0], sheet.comments[0]
    assert one is not two
    one.text = "changed"
    del book, sheet
    gc.collect()
    two.author = "bob"
    assert fields(one) == (3, 2, (3, 2), "bob", "changed")


def test_comment_calls_do_not_leak_references():
    _, sheet = sheet_with_comment()
    comment, text = sheet.comments[0], "".join(["no", "te"])
    before = [sys.getrefcount(o) for o in (text, comment)]
    for _ in range(1000):
        comment.text = text
        comment.author = text
        comment.coordinate, comment.text
        with pytest.raises(TypeError):
            comment.author = 1
    after = [sys.getrefcount(o) for o in (text, comment)]
    assert after == before
