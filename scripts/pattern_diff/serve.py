"""Answers pattern questions with the built extension, one line per request.

Request: `MODE\\tHEX(pattern)\\tHEX(text)`, MODE `=` (the pattern as given,
through a Finder's sheet search on one sheet named by the text) or `i` (the
case-insensitive cell search on one cell holding the text). Answer: `match`,
`nomatch`, `error\\tMESSAGE` for the RuntimeError a bad pattern raises, or
`exception\\tTYPE: MESSAGE` for anything else.
"""

import sys

from vellix import readable


def sheet_search(pattern, text):
    sheet = {"name": text, "sheet_state": "visible", "merge_cells": [], "cells": []}
    return readable.Finder([sheet]).find_sheet_by_regex(pattern) is not None


def cell_search(pattern, text):
    cell = {"row": 1, "column": 1, "value": text, "formula": None, "data_type": "s", "style_id": None}
    return bool(readable.find_cells_by_regex(pattern, [cell]))


SEARCHES = {"=": sheet_search, "i": cell_search}


def answer(line):
    mode, pattern, text = line.split("\t")
    pattern, text = bytes.fromhex(pattern).decode(), bytes.fromhex(text).decode()
    try:
        return "match" if SEARCHES[mode](pattern, text) else "nomatch"
    except RuntimeError as e:
        return "error\t" + " ".join(str(e).split())
    except Exception as e:  # noqa: BLE001 - any other type is itself a finding
        return f"exception\t{type(e).__name__}: " + " ".join(str(e).split())


def main():
    out = sys.stdout
    for line in sys.stdin:
        out.write(answer(line.rstrip("\n")) + "\n")
        out.flush()


if __name__ == "__main__":
    main()
