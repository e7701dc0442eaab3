"""Look-behinds of varying length answer on long cells, in a Sheet search as in a ReadableSheet's."""

import pytest

import vellix
from vellix.readable import Finder

N = 10_000
CASES = [  # (pattern, the one cell's text, whether the cell is found)
    ("(?<=(?:a|aa)+$)", "a" * N + "b", False),  # each start of the body backtracks through every split
    ("(?<=(?:a|aa)+$)", "a" * N, True),
    ("(?:(?<=a+|b)[ab])+$", "ab" * 2000 + "!", False),  # the main match asks each position again and again
    ("(?:(?<=a+|b)[ab])+$", "ab" * 2000, True),
    ("(?<=b+)a", "a" * 1_000_000, False),  # a body that could begin anywhere before
    ("(?<=b+)a", "a" * 500_000 + "b" * 500_000 + "a", True),
    ("(?<!b+)a", "b" * 500_000 + "a", False),
    ("(?<!b+)a", "b" * 500_000 + "ca", True),
    ("(?m)(?<=^x+)y", "x" * N + "\n" + "x" * N + "y", True),
    ("(?m)(?<=^x+)y", "x" * N + "\n" + "zx" * N + "y", False),
    ("(?<=é{2,}|ü+)ß", "ü" * N + "éß", False),  # the position is a byte offset among multi-byte characters
    ("(?<=é{2,}|ü+)ß", "ü" * N + "ééß", True),
]


@pytest.mark.parametrize("kind", ["sheet", "readable"])
@pytest.mark.parametrize("pattern, text, found", CASES)
def test_look_behinds_of_varying_length_answer_on_long_cells(kind, pattern, text, found):
    if kind == "sheet":
        sheet = vellix.Book().add_sheet("S")
        sheet.cell(1, 1, text)
    else:
        cell = dict(row=1, column=1, value=text, formula=None, data_type="s", style_id=None)
        sheet = Finder([dict(name="S", sheet_state="visible", merge_cells=[], cells=[cell])]).get_sheet_index(0)
    assert [(c.row, c.column) for c in sheet.find_cells_by_regex(pattern)] == ([(1, 1)] if found else [])
