"""The Python API at scale: filling one million cells with Sheet.cell(row, col,
text), reading them back through Sheet.cells, and Book.to_json of that book.

Compared with a pure-Python baseline doing the same bookkeeping (a dict of
small cell objects), so the figures say what the extension costs per cell.
"""

import ctypes
import gc
import os
import sys
import time
import timeit

import vellix

ROWS, COLS = 100_000, 10  # one million cells
TEXTS = ["alpha", "12345", "3.25", "TRUE", "2024-01-02 03:04:05", "", "-7", "beta gamma"]


def best_of(runs, make_args, fn):
    """Best wall time of `runs` runs of fn(*make_args())."""
    best = float("inf")
    result = None
    for _ in range(runs):
        args = make_args()
        gc.collect()
        start = time.perf_counter()
        result = fn(*args)
        best = min(best, time.perf_counter() - start)
    return best, result


def fill(sheet):
    cell = sheet.cell
    texts = TEXTS
    n = len(texts)
    for r in range(1, ROWS + 1):
        for c in range(1, COLS + 1):
            cell(r, c, texts[(r + c) % n])
    return sheet


def new_sheet():
    book = vellix.Book()
    return (book.add_sheet("Data"),)


class _Mallinfo2(ctypes.Structure):
    _fields_ = [(name, ctypes.c_size_t) for name in
                ("arena", "ordblks", "smblks", "hblks", "hblkhd", "usmblks", "fsmblks", "uordblks", "fordblks",
                 "keepcost")]


def heap_in_use():
    """Bytes malloc holds for the program: in use plus mmapped (glibc's mallinfo2)."""
    info = ctypes.CDLL(None).mallinfo2
    info.restype = _Mallinfo2
    m = info()
    return m.uordblks + m.hblkhd


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def fill_memory():
    """Bytes per cell of a sheet built with Sheet.cell, map included: the heap
    delta and the resident-set delta of building it."""
    book = vellix.Book()
    sheet = book.add_sheet("Data")
    gc.collect()
    heap, rss = heap_in_use(), resident_bytes()
    fill(sheet)
    n = ROWS * COLS
    return (heap_in_use() - heap) / n, (resident_bytes() - rss) / n, book


def read_back(sheet):
    cells = sheet.cells
    return sum(1 for c in cells if c.value)


class PyCell:
    __slots__ = ("row", "column", "value", "data_type")

    def __init__(self, row, column, value):
        self.row, self.column, self.value, self.data_type = row, column, value, "s"


def python_fill():
    cells = {}
    texts = TEXTS
    n = len(texts)
    for r in range(1, ROWS + 1):
        for c in range(1, COLS + 1):
            cells[(r, c)] = PyCell(r, c, texts[(r + c) % n])
    return cells


def warm_calls():
    """One call on a small sheet whose map stays in cache: the API's own cost."""
    sheet = vellix.Book().add_sheet("Warm")
    cell = sheet.cell(1, 1, "a")
    env = {"c": sheet.cell, "cell": cell}
    for stmt in ['c(1, 1, "alpha")', 'c(1, 1, "12345")', "c(1, 1)", "cell.value", "cell.set_value_integer(5)"]:
        per_call = min(timeit.repeat(stmt, globals=env, number=1_000_000, repeat=5)) / 1_000_000
        print(f"  {stmt:<28} {per_call * 1e9:6.0f} ns")


def main():
    n = ROWS * COLS
    print(f"CPython {sys.version.split()[0]}, {n:,} cells")
    heap_per_cell, rss_per_cell, _ = fill_memory()  # first, on a fresh heap
    print(f"memory of the filled sheet: {heap_per_cell:.1f} bytes/cell (malloc in use), "
          f"{rss_per_cell:.1f} bytes/cell (resident set)")

    t_fill, sheet = best_of(3, new_sheet, fill)
    t_base, _ = best_of(3, tuple, python_fill)
    print(f"fill with Sheet.cell(row, col, text): {t_fill * 1e3:8.1f} ms  {t_fill / n * 1e9:6.0f} ns/cell")
    print(f"pure-Python dict of slot objects:     {t_base * 1e3:8.1f} ms  {t_base / n * 1e9:6.0f} ns/cell")

    t_cells, _ = best_of(3, lambda: (sheet,), lambda s: s.cells)
    print(f"Sheet.cells (sorted list of Cell):    {t_cells * 1e3:8.1f} ms  {t_cells / n * 1e9:6.0f} ns/cell")
    t_read, nonempty = best_of(3, lambda: (sheet,), read_back)
    print(f"Sheet.cells + .value of every cell:   {t_read * 1e3:8.1f} ms  {t_read / n * 1e9:6.0f} ns/cell"
          f"  ({nonempty:,} non-empty)")

    book = vellix.Book()
    fill(book.add_sheet("Data"))
    t_json, text = best_of(3, lambda: (book,), lambda b: b.to_json())
    mb = len(text) / 1e6
    print(f"Book.to_json:                         {t_json * 1e3:8.1f} ms  {mb:.1f} MB, {mb / t_json:.0f} MB/s")
    print("one call on a warm sheet:")
    warm_calls()


if __name__ == "__main__":
    main()
