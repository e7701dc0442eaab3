"""Comment: a live view of one comment of a sheet."""

import re

import pytest

import vellix


def test_comments_keep_what_add_comment_stored_in_call_order_and_have_the_default_repr():
    sheet = vellix.Book().add_sheet("S")
    sheet.add_comment(3, 2, "hello", "ann")
    sheet.add_comment(row=3, col=2, author="bob", text="")
    sheet.add_comment(4294967295, 65535, "t", "a")
    assert [(c.row, c.column, c.coordinate, c.author, c.text) for c in sheet.comments] == [
        (3, 2, (3, 2), "ann", "hello"), (3, 2, (3, 2), "bob", ""), (4294967295, 65535, (4294967295, 65535), "a", "t")]
    assert sheet.cells == []  # a comment needs no cell
    assert re.fullmatch(r"<vellix\.Comment object at 0x[0-9a-f]+>", repr(sheet.comments[0]))


@pytest.mark.parametrize("attribute", ["text", "author"])
def test_edits_reach_the_sheet_its_json_and_every_view(attribute):
    book = vellix.Book()
    sheet = book.add_sheet("S")
    sheet.add_comment(3, 2, "hello", "ann")
    one, two = sheet.comments[0], sheet.comments[0]
    setattr(one, attribute, 'ünï\n"x"')
    assert getattr(two, attribute) == 'ünï\n"x"' and one is not two
    assert book.to_dict()["sheets"][0]["comments"][0][attribute] == 'ünï\n"x"'
