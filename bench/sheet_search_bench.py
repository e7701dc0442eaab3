"""Sheet searches on a one-million-cell sheet built through the Python API.

Each multi-cell search runs once with few hits and once with many. For a
few-hit search the binding's share of the time is estimated by running the
same call on a sheet that holds only its hits: that call pays every fixed
cost of the binding (argument matching and conversion, borrow, locks, making
the Cell objects) and next to no core work, so its time bounds the binding's
overhead from above. The share must stay under 10 % for each search that
scans the sheet (find_cells_range_rows reads only the rows it covers).

Run: PYTHONPATH=build/python python3 bench/sheet_search_bench.py

With --kept [BEFORE_PYTHONPATH] it compares instead the searches that share a
sheet's kept sorted list with the map-order scan of the same sheet, on a Sheet
and on a ReadableSheet, each on 1 thread and on 8 (RAYON_NUM_THREADS). Each
figure is the best of several runs of a fresh process, the thread counts
taking turns. Given the PYTHONPATH of an older build as well, it runs the same
calls on that build, turn about, so that both are measured in one run.
"""

import gc
import json
import os
import subprocess
import sys
import time

import vellix

ROWS, COLS = 100_000, 10
WORDS = ["alpha", "Bravo", "CHARLIE", "delta", "Echo", "foxtrot", "Golf", "hotel", "INDIA", "juliet",
         "Kilo", "lima", "Mike", "november", "Oscar", "papa", "QUEBEC", "romeo", "Sierra", "tango"]
U32 = 4294967295


def value(row, col):
    """Column 1 says "total"; the rest mixes words, integers, decimals and date-times."""
    if col == 1:
        return "total"
    if col == 5 and row % 10_000 == 0:
        return "needle"
    if col == 3 and row in (50_000, 50_001):
        return "begin" if row == 50_000 else "end"
    h = (row * 31 + col * 17) * 2654435761 % 1_000_003
    kind = (row + col) % 4
    if kind == 0:
        return WORDS[h % len(WORDS)]
    if kind == 1:
        return str(h - 500_000)
    if kind == 2:
        return f"{h % 10_000}.{h % 100}"
    return f"20{h % 30:02}-{h % 12 + 1:02}-{h % 28 + 1:02} {h % 24:02}:{h % 60:02}:{h % 59:02}"


def build(cells):
    sheet = vellix.Book().add_sheet("bench")
    for row, col, text in cells:
        sheet.cell(row, col, text)
    return sheet


def best_of(fn, repeat):
    best = float("inf")
    result = None
    for _ in range(repeat):
        gc.collect()
        start = time.perf_counter()
        result = fn()
        best = min(best, time.perf_counter() - start)
        del result
    return best


def fmt(seconds):
    return f"{seconds * 1e3:.2f} ms" if seconds >= 1e-3 else f"{seconds * 1e6:.1f} µs"


# (method, few-hit arguments, many-hit arguments)
MULTI = [
    ("find_cells_by_regex", ("^needle$",), ("o",)),
    ("find_cells_by_str", (" needle ",), ("total",)),
    ("find_cells_for_rows_by_regex", ("needle", 10), ("a", 4)),
    ("find_cells_for_cols_by_regex", ("needle", U32), ("e", 50_000)),
    ("find_cells_multi_regex", ("^needle$", "^needle$"), ("^total$", "^total$")),
    ("find_cells_between_regex", ("^begin$", "^end$"), ("^needle$", "^needle$")),
    ("find_cells_range_rows", (10, 11), (1, 50_000)),
    ("find_cells_range_cols", (11, 11), (1, 5)),
]


def main():
    started = time.perf_counter()
    cells = [(r, c, value(r, c)) for r in range(1, ROWS + 1) for c in range(1, COLS + 1)]
    cells += [(r, 11, "side") for r in range(10_000, ROWS + 1, 10_000)]
    sheet = build(cells)
    print(f"# {len(sheet.cells):,} cells built in {time.perf_counter() - started:.1f} s, "
          f"CPython {sys.version.split()[0]}\n")

    print("| search | hits | time | binding share |")
    print("|---|---|---|---|")
    worst_share = 0.0
    per_hit = {}
    for method, few, many in MULTI:
        call = getattr(sheet, method)
        hits = call(*few)
        small = build([(c.row, c.column, c.value) for c in hits])
        assert len(getattr(small, method)(*few)) == len(hits), method
        t_few = best_of(lambda: call(*few), 7)
        t_small = best_of(lambda: getattr(small, method)(*few), 200)
        share = t_small / t_few
        # A row range reads only the rows it covers, so no scan dwarfs what the binding does.
        if method != "find_cells_range_rows":
            worst_share = max(worst_share, share)
        print(f"| `{method}{few}` | {len(hits)} | {fmt(t_few)} | {share:.2%} |")
        n_many = len(call(*many))
        t_many = best_of(lambda: call(*many), 5)
        print(f"| `{method}{many}` | {n_many:,} | {fmt(t_many)} | |")
        if method.startswith("find_cells_range"):
            # the same scan either way: the difference is what the hits cost
            per_hit[method] = (t_many - t_few) / (n_many - len(hits))

    t = best_of(lambda: sheet.find_cell_by_str("absent value"), 7)
    print(f"| `find_cell_by_str('absent value')` | 0 | {fmt(t)} | |")
    block = sheet.get_cells_by_range(1000, 1999, 1, 10)
    t = best_of(lambda: sheet.get_cells_by_range(1000, 1999, 1, 10), 7)
    print(f"| `get_cells_by_range(1000, 1999, 1, 10)` | {len(block):,} | {fmt(t)} | |")
    t = best_of(lambda: sheet.cells, 5)
    print(f"| `cells` (getter, every cell) | {len(cells):,} | {fmt(t)} | |")
    t = best_of(lambda: sheet.delete_rows(1, 1), 5)
    print(f"| `delete_rows(1, 1)` | | {fmt(t)} | |")

    for method, cost in per_hit.items():
        print(f"\neach further hit of `{method}` (its reference and its Cell object): {cost * 1e9:.0f} ns")

    print(f"\nlargest binding share of a few-hit search: {worst_share:.2%}")
    if worst_share >= 0.10:
        sys.exit("the binding's overhead of a few-hit search exceeds 10 % of its time")


NO_HIT = "^absent value$"


def kept_child():
    """One process's figures for --kept, as JSON on stdout."""
    from vellix.readable import Finder

    cells = [(r, c, value(r, c)) for r in range(1, ROWS + 1) for c in range(1, COLS + 1)]
    sheet = build(cells)
    dicts = [dict(row=r, column=c, value=v, formula=None, data_type="", style_id=None) for r, c, v in cells]
    readable = Finder([dict(name="R", sheet_state="visible", merge_cells=[], cells=dicts)]).get_sheet_index(0)
    del cells, dicts
    out = {}
    for kind, s in (("Sheet", sheet), ("ReadableSheet", readable)):
        s.find_cells_by_regex(NO_HIT)  # the list is kept from here on (a snapshot sorts when it is made)
        out[f"{kind} find_cell_by_regex, no hit (map order)"] = best_of(lambda: s.find_cell_by_regex(NO_HIT), 7)
        out[f"{kind} find_cells_by_regex, no hit, repeated"] = best_of(lambda: s.find_cells_by_regex(NO_HIT), 7)
        out[f"{kind} find_cells_by_str, no hit, repeated"] = best_of(lambda: s.find_cells_by_str("absent"), 7)
    first = float("inf")
    for i in range(7):
        sheet.cell(ROWS + 1 + i, 1, "new")  # a new cell: the kept list is stale
        gc.collect()
        start = time.perf_counter()
        sheet.find_cells_by_regex(NO_HIT)
        first = min(first, time.perf_counter() - start)
    out["Sheet find_cells_by_regex, first after a new cell"] = first
    print(json.dumps(out))


def kept_compare(before_path):
    builds = [("this build", os.environ.get("PYTHONPATH", ""))] + ([("before", before_path)] if before_path else [])
    best = {}
    for _ in range(3):
        for threads in (1, 8):
            for label, path in builds:
                env = dict(os.environ, PYTHONPATH=path, RAYON_NUM_THREADS=str(threads))
                run = subprocess.run([sys.executable, __file__, "--kept-child"], env=env, capture_output=True,
                                     text=True, check=True)
                for name, t in json.loads(run.stdout).items():
                    key = (label, threads, name)
                    best[key] = min(best.get(key, float("inf")), t)
    print(f"# CPython {sys.version.split()[0]}, best of 3 processes x 7 calls\n")
    print("| call | build | 1 thread | 8 threads | ratio to the map-order scan (1 / 8) |")
    print("|---|---|---|---|---|")
    names = sorted({name for _, _, name in best}, key=lambda n: (not n.startswith("Sheet "), "first" in n, n))
    for name in names:
        kind = name.split()[0]
        for label, _ in builds:
            if (label, 1, name) not in best:
                continue
            t1, t8 = best[(label, 1, name)], best[(label, 8, name)]
            scan = f"{kind} find_cell_by_regex, no hit (map order)"
            ratio = f"{t1 / best[(label, 1, scan)]:.2f} / {t8 / best[(label, 8, scan)]:.2f}"
            print(f"| `{name}` | {label} | {fmt(t1)} | {fmt(t8)} | {ratio} |")


if __name__ == "__main__":
    if sys.argv[1:2] == ["--kept-child"]:
        kept_child()
    elif sys.argv[1:2] == ["--kept"]:
        kept_compare(sys.argv[2] if len(sys.argv) > 2 else None)
    else:
        main()
