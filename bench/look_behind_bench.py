"""Sheet searches with look-behinds of varying length, each against the same search written as a look-ahead.

Each example is one cell searched with find_cells_by_regex; the look-ahead form
is the yardstick a look-behind should stay near (within 2x, or 0.5 s). The last
rows search many short cells, where the fixed cost of a look-behind counts.

Run: PYTHONPATH=build/python python3 bench/look_behind_bench.py [--repeat N]
"""

import argparse
import time

import vellix

ONE_CELL = [  # (look-behind, look-ahead, the cell's text as written, the text)
    ("(?<=(?:a|aa)+$)", "(?=(?:a|aa)+$)", '"a" * 10000 + "b"', "a" * 10000 + "b"),
    ("(?:(?<=a+|b)[ab])+$", "(?:(?=a+|b)[ab])+$", '"ab" * 2000 + "!"', "ab" * 2000 + "!"),
    ("(?<=b+)a", "(?=b+)a", '"a" * 1000000', "a" * 1000000),
    # Every check holds and the match still fails, so every position is checked.
    ("(?<=b+)a$", "(?=b+)a$", '"ab" * 500000 + "!"', "ab" * 500000 + "!"),
]
MANY_CELLS = ("(?<=[a-z]+)7", "(?=[a-z]+)7", [f"item{k}-x{k % 97}" for k in range(100_000)])


def best(sheet, pattern, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        sheet.find_cells_by_regex(pattern)
        times.append(time.perf_counter() - start)
    return min(times)


def sheet_of(texts):
    sheet = vellix.Book().add_sheet("S")
    for row, text in enumerate(texts, 1):
        sheet.cell(row, 1, text)
    return sheet


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--repeat", type=int, default=3)
    repeat = ap.parse_args().repeat
    print("| pattern | text | look-behind | as a look-ahead |")
    print("|---|---|---|---|")
    cases = [(b, a, [text], f"`{written}`") for b, a, written, text in ONE_CELL]
    cases.append((*MANY_CELLS[:2], MANY_CELLS[2], f"{len(MANY_CELLS[2]):,} short cells"))
    for behind, ahead, texts, label in cases:
        sheet = sheet_of(texts)
        b, a = best(sheet, behind, repeat), best(sheet, ahead, repeat)
        print(f"| `{behind}` | {label} | {b * 1000:.1f} ms | {a * 1000:.1f} ms |", flush=True)


if __name__ == "__main__":
    main()
