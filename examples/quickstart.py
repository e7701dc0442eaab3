"""A first tour of vellix: build a book, fill a sheet from texts, read typed
values back, add a comment, a merged range and row and column sizes, search,
and export the book as JSON."""

import json

import vellix

book = vellix.Book()
sales = book.add_sheet("Sales")
print(f"Created {book!r} with the sheet {sales!r}")

# Every value is given as text; vellix types it: empty, boolean, integer,
# number and date-time are tried in that order, anything else stays text.
rows = [
    ["Region", "Units", "Price", "Shipped", "Updated"],
    ["North", "120", "9.95", "TRUE", "2024-03-01 09:30:00"],
    ["South", "87", "10.5", "false", "2024-03-02 14:05:30"],
    ["East", "", "11", "true", "not yet"],
]
for r, values in enumerate(rows, start=1):
    for c, text in enumerate(values, start=1):
        sales.cell(r, c, text)
print(f"Filled {sales!r}: {sales.max_row} rows x {sales.max_column} columns")

print("\nRow 2 read back with the type each text was given:")
for cell in sales.cells:
    if cell.row == 2:
        print(f"  {cell.letter:<3} {cell.value!r:<24} data_type={cell.data_type}"
              f"  integer={cell.is_value_integer} numeric={cell.is_value_numeric}"
              f" bool={cell.is_value_bool} datetime={cell.is_value_datetime}")

# A typed write drops any formula, so the cached result goes in first.
total = sales.cell(5, 2)
total.set_value_integer(207)
total.formula = "=SUM(B2:B4)"
print(f"\nB5 holds {total.formula!r} with the cached value {total.value!r} (data_type={total.data_type!r})")

sales.add_comment(2, 3, "Price before the spring discount", "ann")
sales.add_merge_cells(1, 1, 1, 5)
note = sales.comments[0]
print(f"Comment at {note.coordinate} by {note.author}: {note.text!r}")
print(f"Merged ranges (start_row, end_row, start_col, end_col): {sales.merge_cells}")

sales.set_height_row(1, 30.0)
sales.set_width_column(1, 14.0)
sales.set_hidden_column(5, True)
print(f"Header row height {sales.get_height_by_row(1)}, row 2 keeps the default {sales.get_height_by_row(2)}; "
      f"column A width {sales.get_width_by_column(1)}, column E hidden: {sales.get_hidden_by_column(5)}")

# Searches run on a pool of worker threads; patterns ignore case.
hits = sales.find_cells_by_regex("^(north|south)$")
print(f"Cells matching ^(north|south)$: {[(c.letter, c.value) for c in hits]}")

# Sheet objects are live views: an edit through one is seen through all.
book.sheets[0].name = "Sales 2024"
print(f"\nRenamed through book.sheets[0]; the first object now shows {sales!r}")

archive = book.copy_sheet(sales)
print(f"Copied the sheet as {archive.name!r}; the book is now {book!r}")

text = book.to_json()
print(f"\nJSON export: {len(text)} characters, starting {text[:72]}...")
exported = book.to_dict()
assert exported == json.loads(text)
first = exported["sheets"][0]
b2 = next(c for c in first["cells"] if (c["row"], c["column"]) == (2, 2))
print(f"As a dict: sheet {first['name']!r} with {len(first['cells'])} cells and "
      f"{len(first['comments'])} comment; B2 -> {b2}")

# The read-only layer snapshots plain Python data and searches it with the
# interpreter lock released, so other Python threads keep running.
from vellix import readable

finder = readable.Finder([{
    "name": "Stock", "sheet_state": "visible", "merge_cells": [],
    "cells": [{"row": r, "column": 1, "value": v, "formula": None, "data_type": "n", "style_id": None}
              for r, v in enumerate(["bolts", "nuts", "washers", "Nuts and bolts"], start=1)],
}])
stock = finder.find_sheet_by_name("Stock")
print(f"\nSnapshot {finder!r}; {stock!r}")
print(f"Cells of Stock matching 'nuts': {[c.letter for c in stock.find_cells_by_regex('nuts')]}")
