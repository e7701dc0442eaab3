"""Sheet searches with look-behinds of varying length, each against the same search written as a look-ahead.

Each example is one cell searched with find_cells_by_regex; the look-ahead form
is the yardstick a look-behind should stay near (within 2x, or 0.5 s). The last
row searches many short cells, where the fixed cost of a look-behind counts.
Each search runs in a process of its own, stopped after --limit seconds.

Run: PYTHONPATH=build/python python3 bench/look_behind_bench.py [--repeat N] [--limit S]
"""

import argparse
import subprocess
import sys
import time

import vellix

CASES = [  # (look-behind, look-ahead, the text as written)
    ("(?<=(?:a|aa)+$)", "(?=(?:a|aa)+$)", '"a" * 10000 + "b"'),
    ("(?:(?<=a+|b)[ab])+$", "(?:(?=a+|b)[ab])+$", '"ab" * 2000 + "!"'),
    ("(?<=b+)a", "(?=b+)a", '"a" * 1000000'),
    # Every check holds and the match still fails, so every position is checked.
    ("(?<=b+)a$", "(?=b+)a$", '"ab" * 500000 + "!"'),
    ("(?<=[a-z]+)7", "(?=[a-z]+)7", 'f"item{k}-x{k % 97}" for k in range(100000)'),  # one cell each
]


def cells(written):
    return eval(f"[{written}]")  # the texts as the table shows them


def best_time(pattern, written, repeat):
    """Best of `repeat` runs of one sheet search, in seconds."""
    sheet = vellix.Book().add_sheet("S")
    for row, text in enumerate(cells(written), 1):
        sheet.cell(row, 1, text)
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        sheet.find_cells_by_regex(pattern)
        times.append(time.perf_counter() - start)
    return min(times)


def timed(pattern, written, repeat, limit):
    """The figure for the table: milliseconds, or how long it ran before it was stopped."""
    try:
        out = subprocess.run([sys.executable, __file__, "--one", pattern, written, "--repeat", str(repeat)],
                             capture_output=True, text=True, timeout=limit, check=True).stdout
    except subprocess.TimeoutExpired:
        return f"> {limit:g} s"
    return f"{float(out) * 1000:.1f} ms"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--limit", type=float, default=120.0, help="seconds a search may run before it is stopped")
    ap.add_argument("--one", nargs=2, metavar=("PATTERN", "TEXT"), help="time one search and print its seconds")
    args = ap.parse_args()
    if args.one:
        print(best_time(*args.one, args.repeat))
        return
    print("| pattern | text | look-behind | as a look-ahead |")
    print("|---|---|---|---|")
    for behind, ahead, written in CASES:
        b, a = timed(behind, written, args.repeat, args.limit), timed(ahead, written, args.repeat, args.limit)
        print(f"| `{behind}` | `{written}` | {b} | {a} |", flush=True)


if __name__ == "__main__":
    main()
