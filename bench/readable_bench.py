"""The readable layer on a million cells.

- Finder(sheets) and create_finder(sheets) over ten sheet dicts of 100,000
  cell dicts each: the cost of the snapshot, almost all of it reading the
  Python objects.
- ReadableSheet.find_cells_by_regex over one snapshot sheet of a million cells.
- The module-level find_cells_by_regex over a list of a million ReadableCell
  objects (shared, no conversion) and over a list of a million cell dicts
  (each converted into a new core cell first).
- Four Python threads searching the same Finder at once against one thread
  doing the same searches: the searches release the interpreter lock, so the
  threads overlap; all of them share the one worker pool.

Run: PYTHONPATH=build/python python3 bench/readable_bench.py
"""

import gc
import sys
import threading
import time

from vellix import readable

SHEETS, ROWS_PER_SHEET, COLS = 10, 10_000, 10  # 10 x 100,000 cells
WORDS = ["alpha", "Bravo", "CHARLIE", "delta", "Echo", "foxtrot", "Golf", "hotel", "INDIA", "juliet"]


def value(row, col):
    if col == 5 and row % 1_000 == 0:
        return "needle"
    h = (row * 31 + col * 17) * 2654435761 % 1_000_003
    kind = (row + col) % 3
    if kind == 0:
        return WORDS[h % len(WORDS)]
    if kind == 1:
        return str(h - 500_000)
    return f"{h % 10_000}.{h % 100}"


def cell_dicts(rows, first_row=1):
    return [
        {"row": r, "column": c, "value": value(r, c), "formula": None, "data_type": "n", "style_id": None}
        for r in range(first_row, first_row + rows)
        for c in range(1, COLS + 1)
    ]


def best_of(fn, repeat):
    best, result = float("inf"), None
    for _ in range(repeat):
        result = None
        gc.collect()
        start = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - start)
    return best, result


def report(label, seconds, extra=""):
    print(f"{label:<62} {seconds * 1e3:9.1f} ms {extra}")


def main():
    print(f"CPython {sys.version.split()[0]}")
    sources = [
        {"name": f"S{i}", "sheet_state": "visible", "merge_cells": [[1, 2, 1, 2]], "cells": cell_dicts(ROWS_PER_SHEET)}
        for i in range(SHEETS)
    ]
    total = SHEETS * ROWS_PER_SHEET * COLS
    for label, make in (("Finder(sheets)", readable.Finder), ("create_finder(sheets)", readable.create_finder)):
        t, _ = best_of(lambda: make(sources), 3)
        report(f"{label}, {total:,} cell dicts in {SHEETS} sheets", t, f"({t / total * 1e9:.0f} ns per cell)")
    del sources

    big = readable.Finder(
        [{"name": "big", "sheet_state": "visible", "merge_cells": [], "cells": cell_dicts(total // COLS)}]
    )
    sheet = big.sheets[0]
    for pattern, note in (("needle", "few hits"), ("^[a-e]", "many hits")):
        t, hits = best_of(lambda: sheet.find_cells_by_regex(pattern), 5)
        report(f"ReadableSheet.find_cells_by_regex({pattern!r}), {total:,} cells", t, f"{note}: {len(hits):,}")

    cells = sheet.cells
    t, hits = best_of(lambda: readable.find_cells_by_regex("needle", cells), 5)
    report(f"find_cells_by_regex('needle'), {len(cells):,} ReadableCells", t, f"hits: {len(hits):,}")
    del cells
    dicts = cell_dicts(total // COLS)
    t, hits = best_of(lambda: readable.find_cells_by_regex("needle", dicts), 3)
    report(f"find_cells_by_regex('needle'), {len(dicts):,} cell dicts", t, f"hits: {len(hits):,}")
    del dicts

    searches_per_thread = 12

    def searcher():
        s = big.find_sheet_by_name("big")
        for i in range(searches_per_thread):
            s.find_cells_by_regex("needle" if i % 2 else "^delta$")

    for threads in (1, 4):
        def run():
            workers = [threading.Thread(target=searcher) for _ in range(threads)]
            for w in workers:
                w.start()
            for w in workers:
                w.join()

        t, _ = best_of(run, 3)
        n = threads * searches_per_thread
        report(f"{threads} thread(s) x {searches_per_thread} searches of one Finder sheet ({total:,} cells)", t,
               f"{n / t:.1f} searches/s")


if __name__ == "__main__":
    main()
