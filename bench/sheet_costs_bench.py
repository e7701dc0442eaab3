"""Costs that should not grow with the sheet: a million-cell sheet's extent,
narrow range and limit searches, its export, its release and its memory.

Each figure comes from fresh processes, several per build; given the
PYTHONPATH of another build as well, its processes take turns with this
build's, so that both are measured in one run.

Run: PYTHONPATH=build/python python3 bench/sheet_costs_bench.py [BEFORE_PYTHONPATH]
"""

import ctypes
import gc
import json
import os
import statistics
import subprocess
import sys
import time

ROWS, COLS = 100_000, 10
PROCESSES = 3
WORDS = ["alpha", "Bravo", "CHARLIE", "delta", "Echo", "foxtrot", "Golf", "hotel", "INDIA", "juliet"]


def text(row, col):
    """Words, integers, decimals and date-times, a quarter each."""
    kind = (row + col) % 4
    if kind == 0:
        return WORDS[(row * 7 + col) % len(WORDS)]
    if kind == 1:
        return str(row * 13 - col * 1_000)
    if kind == 2:
        return f"{row % 5_000}.{col}5"
    return f"20{row % 30:02}-{col:02}-{row % 28 + 1:02} {row % 24:02}:{col:02}:{row % 60:02}"


class Mallinfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks",
                 "keepcost")]


def malloc_in_use():
    libc = ctypes.CDLL(None)
    libc.mallinfo2.restype = Mallinfo2
    m = libc.mallinfo2()
    return m.uordblks + m.hblkhd


def best_ms(fn, repeat):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best * 1e3


def filled(vellix, cells):
    book = vellix.Book()
    sheet = book.add_sheet("S")
    for r, c, t in cells:
        sheet.cell(r, c, t)
    return [book, sheet]


def drop_ns_per_cell(held, n):
    """Drops the book and sheet in `held`, the only references to them."""
    gc.collect()
    start = time.perf_counter()
    held.clear()
    gc.collect()
    return (time.perf_counter() - start) * 1e9 / n


def child():
    import vellix

    cells = [(r, c, text(r, c)) for r in range(1, ROWS + 1) for c in range(1, COLS + 1)]
    n = len(cells)
    out = {"dropping a sheet never searched (ns per cell)": drop_ns_per_cell(filled(vellix, cells), n)}
    gc.collect()
    base = malloc_in_use()
    held = filled(vellix, cells)
    book, sheet = held
    gc.collect()
    out["bytes per cell, filled"] = (malloc_in_use() - base) / n
    sheet.find_cells_by_str("absent")
    gc.collect()
    out["bytes per cell, after a search (kept list)"] = (malloc_in_use() - base) / n
    out["max_row, first after a change (ms)"] = best_ms(lambda: sheet.max_row, 1)
    out["max_row, repeated (ms)"] = best_ms(lambda: sheet.max_row, 50)
    out["max_column, repeated (ms)"] = best_ms(lambda: sheet.max_column, 50)
    out["find_cells_range_rows(10, 11), first after a search (ms)"] = best_ms(
        lambda: sheet.find_cells_range_rows(10, 11), 1)
    out["find_cells_range_rows(10, 11) (ms)"] = best_ms(lambda: sheet.find_cells_range_rows(10, 11), 7)
    out["find_cells_for_cols_by_regex('a', 10) (ms)"] = best_ms(lambda: sheet.find_cells_for_cols_by_regex("a", 10), 7)
    out["get_cells_by_range(10, 11) (ms)"] = best_ms(lambda: sheet.get_cells_by_range(10, 11), 7)
    out["Book.to_json (ms)"] = best_ms(book.to_json, 3)
    del cells, book, sheet
    out["dropping the sheet after a search (ns per cell)"] = drop_ns_per_cell(held, n)
    print(json.dumps(out))


def main(before_path):
    builds = [("this build", os.environ.get("PYTHONPATH", ""))]
    if before_path:
        builds.append(("before", before_path))
    runs = {}
    for _ in range(PROCESSES):
        for label, path in builds:
            env = dict(os.environ, PYTHONPATH=path)
            got = subprocess.run([sys.executable, __file__, "--child"], env=env, capture_output=True, text=True,
                                 check=True)
            for name, v in json.loads(got.stdout).items():
                runs.setdefault((label, name), []).append(v)
    load = os.getloadavg()
    print(f"# CPython {sys.version.split()[0]}, {ROWS * COLS:,} cells, median of {PROCESSES} processes, "
          f"load average {load[0]:.1f} / {load[1]:.1f}\n")
    print("| figure | " + " | ".join(label for label, _ in builds) + (" | this / before |" if before_path else " |"))
    print("|---|" + "---|" * (len(builds) + bool(before_path)))
    for name in dict.fromkeys(name for _, name in runs):
        meds = [statistics.median(runs[(label, name)]) for label, _ in builds]
        ratio = f" | {meds[0] / meds[1]:.3f}" if before_path else ""
        print(f"| {name} | " + " | ".join(f"{m:.4g}" for m in meds) + ratio + " |")


if __name__ == "__main__":
    if sys.argv[1:2] == ["--child"]:
        child()
    else:
        main(sys.argv[1] if len(sys.argv) > 1 else None)
