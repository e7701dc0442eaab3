"""The two everyday searches of a million-cell sheet against polars over the same texts.

A Sheet of 100,000 rows x 10 columns of short mixed texts (words and short
phrases, integers, decimals, date-times) built through `Sheet.cell`, and a
polars frame of the same value texts as 10 string columns. Each engine runs:

  find_cells_by_regex("holmes.*\\d")  against  str.contains("(?i)holmes.*\\d") on every column
  find_cells_by_str("Baker street")   against  str.strip_chars() == "Baker street" on every column

Each thread count (1, 2, 4, 8) runs in fresh processes with RAYON_NUM_THREADS
for vellix and POLARS_MAX_THREADS for polars; within a process the calls take
turns, engine after engine, and each figure is the median over every call of
every process. The hit counts of both engines must agree.

Run: make bench-polars [BEFORE=PYTHONPATH] (polars lives only in .venv-bench,
which imports vellix from build/). Given the PYTHONPATH of another build as
BEFORE, its processes take turns with this build's, so that both are
measured in one run.
"""

import gc
import json
import os
import random
import statistics
import subprocess
import sys
import time

ROWS, COLS = 100_000, 10
THREADS = (1, 2, 4, 8)
PROCESSES = 3
CALLS = 7
REGEX, POLARS_REGEX = r"holmes.*\d", r"(?i)holmes.*\d"
NEEDLE = "Baker street"
WORDS = ["alpha", "Bravo", "CHARLIE", "delta", "Echo", "foxtrot", "Golf", "hotel", "INDIA", "juliet",
         "Kilo", "lima", "Mike", "november", "Oscar", "papa", "QUEBEC", "romeo", "Sierra", "tango",
         "Sherlock Holmes", "holmes 221b", "Mrs Hudson 1881", "Holmes and Watson 3", "Baker street",
         " Baker street ", "baker street", "Baker street 221"]


def column_texts(col):
    """One column's value texts, each its own value text once typed (numbers round-trip)."""
    rng = random.Random(col)
    texts = []
    for _ in range(ROWS):
        kind = rng.randrange(4)
        if kind == 0:
            texts.append(rng.choice(WORDS))
        elif kind == 1:
            texts.append(str(rng.randrange(-500_000, 500_000)))
        elif kind == 2:
            texts.append(f"{rng.randrange(10_000)}.{rng.randrange(1, 10)}{rng.choice('123456789')}")
        else:
            texts.append(f"20{rng.randrange(30):02}-{rng.randrange(1, 13):02}-{rng.randrange(1, 29):02} "
                         f"{rng.randrange(24):02}:{rng.randrange(60):02}:{rng.randrange(60):02}")
    return texts


def call_times_ms(fn, calls):
    times = []
    for _ in range(calls):
        gc.collect()
        start = time.perf_counter()
        fn()
        times.append((time.perf_counter() - start) * 1e3)
    return times


def child(engine):
    """One process's call times in ms and hit counts, as JSON on stdout."""
    texts = [column_texts(c) for c in range(1, COLS + 1)]
    out = {}
    if engine == "vellix":
        import vellix

        sheet = vellix.Book().add_sheet("bench")
        for r in range(ROWS):  # row by row, as a sheet is usually filled
            for c in range(COLS):
                sheet.cell(r + 1, c + 1, texts[c][r])
        del texts
        runs = {"regex": lambda: sheet.find_cells_by_regex(REGEX), "str": lambda: sheet.find_cells_by_str(NEEDLE)}
        hits = {k: len(f()) for k, f in runs.items()}
    else:
        import polars as pl

        frame = pl.DataFrame({f"c{c}": column for c, column in enumerate(texts, start=1)})
        del texts

        def contains():
            return frame.select(pl.all().str.contains(POLARS_REGEX))

        def equals():
            return frame.select(pl.all().str.strip_chars() == NEEDLE)

        runs = {"regex": contains, "str": equals}
        hits = {k: int(f().sum_horizontal().sum()) for k, f in runs.items()}
    for k, f in runs.items():
        out[k] = call_times_ms(f, CALLS)
    print(json.dumps({"times": out, "hits": hits}))


def main(before_path):
    builds = [("vellix", os.environ.get("PYTHONPATH", ""))]
    if before_path:
        builds.append(("vellix before", before_path))
    engines = [(label, "vellix", path) for label, path in builds] + [("polars", "polars", "")]
    times, hits = {}, {}
    for _ in range(PROCESSES):
        for threads in THREADS:
            for label, engine, path in engines:
                env = dict(os.environ, PYTHONPATH=path, RAYON_NUM_THREADS=str(threads),
                           POLARS_MAX_THREADS=str(threads))
                run = subprocess.run([sys.executable, __file__, "--child", engine], env=env, capture_output=True,
                                     text=True, check=True)
                got = json.loads(run.stdout)
                for search, ts in got["times"].items():
                    times.setdefault((label, threads, search), []).extend(ts)
                for search, n in got["hits"].items():
                    hits.setdefault(search, set()).add(n)
    for search, counts in hits.items():
        if len(counts) != 1:
            sys.exit(f"hit counts of {search} differ between engines: {sorted(counts)}")
    load = os.getloadavg()
    print(f"# CPython {sys.version.split()[0]}, {ROWS * COLS:,} cells, median of {PROCESSES} processes x "
          f"{CALLS} calls, load average {load[0]:.1f} / {load[1]:.1f}\n")
    for search, title in (("regex", f'find_cells_by_regex("{REGEX}")'), ("str", f'find_cells_by_str("{NEEDLE}")')):
        print(f"`{title}`, {hits[search].pop():,} hits\n")
        print("| engine | " + " | ".join(f"{t} thread{'s' * (t > 1)}" for t in THREADS) + " |")
        print("|---|" + "---|" * len(THREADS))
        for label, _, _ in engines:
            row = [f"{statistics.median(times[(label, t, search)]):.1f} ms" for t in THREADS]
            print(f"| {label} | " + " | ".join(row) + " |")
        for label, _, _ in engines[:-1]:
            row = [f"{statistics.median(times[('polars', t, search)]) / statistics.median(times[(label, t, search)]):.2f}x"
                   for t in THREADS]
            print(f"| polars / {label} | " + " | ".join(row) + " |")
        print()


if __name__ == "__main__":
    if sys.argv[1:2] == ["--child"]:
        child(sys.argv[2])
    else:
        main(sys.argv[1] if len(sys.argv) > 1 else None)
