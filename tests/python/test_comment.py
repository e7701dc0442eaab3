"""Comment: a live view of one comment of a sheet."""

import gc
import json
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


def test_comment_reads_what_add_comment_stored():
    _, sheet = sheet_with_comment()
    assert fields(sheet.comments[0]) == (3, 2, (3, 2), "ann", "hello")
    sheet.add_comment(4294967295, 65535, "", "")
    assert fields(sheet.comments[1]) == (4294967295, 65535, (4294967295, 65535), "", "")


@pytest.mark.parametrize("attribute", ["text", "author"])
@pytest.mark.parametrize("new", ["bye", "", "ünï\n\"quoted\""])
def test_edits_reach_the_sheet_and_its_json(attribute, new):
    book, sheet = sheet_with_comment()
    comment = sheet.comments[0]
    setattr(comment, attribute, new)
    assert getattr(sheet.comments[0], attribute) == new
    exported = json.loads(book.to_json())["sheets"][0]["comments"]
    assert exported[0][attribute] == new
    assert book.to_dict()["sheets"][0]["comments"] == exported


@pytest.mark.parametrize("attribute", ["text", "author"])
@pytest.mark.parametrize(
    "assigned, exc, message",
    [
        (None, TypeError, "argument 'val': 'NoneType' object cannot be cast as 'str'"),
        (5, TypeError, "argument 'val': 'int' object cannot be cast as 'str'"),
        ("\udfff", UnicodeEncodeError, None),
        ("<delete>", AttributeError, "can't delete attribute"),
    ],
)
def test_setters_refuse_anything_but_str(attribute, assigned, exc, message):
    _, sheet = sheet_with_comment()
    comment = sheet.comments[0]
    with pytest.raises(exc) as raised:
        if assigned == "<delete>":
            delattr(comment, attribute)
        else:
            setattr(comment, attribute, assigned)
    assert type(raised.value) is exc
    if message is not None:
        assert str(raised.value) == message
    assert fields(comment) == (3, 2, (3, 2), "ann", "hello")


@pytest.mark.parametrize("attribute", ["row", "column", "coordinate"])
def test_place_is_read_only(attribute):
    _, sheet = sheet_with_comment()
    comment = sheet.comments[0]
    with pytest.raises(AttributeError):
        setattr(comment, attribute, 5)
    assert fields(comment) == (3, 2, (3, 2), "ann", "hello")


def test_text_form_is_the_default_one():
    _, sheet = sheet_with_comment()
    comment = sheet.comments[0]
    assert re.fullmatch(r"<vellix\.Comment object at 0x[0-9a-f]+>", repr(comment))


def test_comment_views_share_one_comment_and_outlive_the_sheet():
    book, sheet = sheet_with_comment()
    one, two = sheet.comments[0], sheet.comments[0]
    assert one is not two
    one.text = "changed"
    assert two.text == "changed"
    del book, sheet
    gc.collect()
    two.author = "bob"
    assert fields(one) == (3, 2, (3, 2), "bob", "changed")


def test_comment_calls_do_not_leak_references():
    _, sheet = sheet_with_comment()
    comment = sheet.comments[0]
    text = "".join(["no", "te"])
    counts = [sys.getrefcount(o) for o in (text, comment)]
    for _ in range(1000):
        comment.text = text
        comment.author = text
        comment.coordinate
        comment.text
        with pytest.raises(TypeError):
            comment.author = 1
    assert [sys.getrefcount(o) for o in (text, comment)] == counts
