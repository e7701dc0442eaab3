#!/usr/bin/env python3
"""Differential fuzzer of the search-pattern syntax against a reference engine.

    VELLIX_PATTERN_ORACLE=/path/to/reference PYTHONPATH=build/python \\
        python3 scripts/pattern_diff/pattern_diff.py --count 100000 --seed 1 --report out.md

Random pattern and text pairs (see grammar.py) are run through the reference
engine and through the built extension, each pattern both as given (a sheet
search) and with "(?i)" in front (a cell search, which adds it itself). The
outcomes compared are match, no match and compile error. Disagreements are
minimised (the pattern, then the text, shrunk while the same two answers
persist), grouped by the construct involved and written as Markdown.

A development tool: without the environment variable it does nothing.
"""

import argparse
import json
import os
import random
import sys
import time
from collections import Counter, defaultdict
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from engines import ERROR, MATCH, NOMATCH, Pair, outcome  # noqa: E402
from grammar import generate  # noqa: E402
from groups import classify, engine_limit  # noqa: E402

ENV = "VELLIX_PATTERN_ORACLE"
MODES = ("=", "i")
KINDS = (MATCH, NOMATCH, ERROR)
MODE_NAMES = {"=": "as given", "i": "with (?i)"}
CHUNK = 4000  # pairs per batch handed to one engine pair


def run_pairs(oracle, pairs, jobs):
    """[(pattern, text)] -> {mode: [(oracle answer, our answer)]}."""
    triples = [(p, t, m) for p, t in pairs for m in MODES]
    chunks = [triples[k:k + CHUNK * 2] for k in range(0, len(triples), CHUNK * 2)]
    engines = [Pair(oracle) for _ in range(jobs)]
    free = list(engines)

    def work(chunk):
        pair = free.pop()
        try:
            return pair.ask_all(chunk)
        finally:
            free.append(pair)

    try:
        with ThreadPoolExecutor(jobs) as pool:
            answers = [a for part in pool.map(work, chunks) for a in part]
    finally:
        for e in engines:
            e.close()
    return {m: answers[k::2] for k, m in enumerate(MODES)}


def shrink_string(s, keeps, budget):
    """Deletes chunks of `s`, halving their size, while keeps(candidate) holds."""
    size = max(1, len(s) // 2)
    while size >= 1 and budget[0] > 0:
        i = 0
        while i < len(s) and budget[0] > 0:
            candidate = s[:i] + s[i + size:]
            budget[0] -= 1
            if keeps(candidate):
                s = candidate
            else:
                i += size
        size //= 2
    return s


def matching_close(s, i):
    """Index of the `)` closing the `(` at i, skipping escaped characters; -1 if none. Rough (brackets
    inside classes count too), which only costs the minimiser a failed try."""
    depth, k = 0, i
    while k < len(s):
        c = s[k]
        if c == "\\":
            k += 2
            continue
        if c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
            if depth == 0:
                return k
        k += 1
    return -1


def unwrap_groups(s, keeps, budget):
    """Drops a group, or replaces it by its body (openers of any length), while keeps holds."""
    i = 0
    while i < len(s) and budget[0] > 0:
        j = matching_close(s, i) if s[i] == "(" and (i == 0 or s[i - 1] != "\\") else -1
        done = False
        if j > 0:
            candidate = s[:i] + s[j + 1:]
            budget[0] -= 1
            if keeps(candidate):
                s, done = candidate, True
        for opener in range(1, min(j - i, 12) if j > 0 and not done else 0):
            candidate = s[:i] + s[i + opener:j] + s[j + 1:]
            budget[0] -= 1
            if keeps(candidate):
                s, done = candidate, True
                break
        if not done:
            i += 1
    return s


def minimise(pair, d, budget=1500, seconds=4.0):
    """Shrinks one disagreement; returns it with the minimal pattern and text
    and the answers they give. Bounded in tries and in time, so on a loaded
    machine a shrink may stop earlier than on an idle one."""
    want = (d["oracle_kind"], d["ours_kind"])
    mode = d["mode"]
    left = [budget]
    deadline = time.time() + seconds

    def same(pattern, text):
        if time.time() > deadline:
            left[0] = 0
            return False
        o, v = pair.ask(pattern, text, mode)
        return (outcome(o), outcome(v)) == want

    pattern = shrink_string(d["pattern"], lambda p: same(p, d["text"]), left)
    pattern = unwrap_groups(pattern, lambda p: same(p, d["text"]), left)
    text = shrink_string(d["text"], lambda t: same(pattern, t), left)
    pattern = shrink_string(pattern, lambda p: same(p, text), left)
    text = shrink_string(text, lambda t: same(pattern, t), left)
    o, v = pair.ask(pattern, text, mode)
    return dict(d, min_pattern=pattern, min_text=text, min_oracle=o, min_ours=v)


def minimise_all(oracle, found, jobs, limit, seed):
    sample = found if len(found) <= limit else random.Random(seed).sample(found, limit)
    engines = [Pair(oracle) for _ in range(jobs)]
    free = list(engines)

    def work(d):
        hit = engine_limit(d["oracle"], d["ours"])
        if hit and hit[1] == "limits":  # shrinking would only rebuild huge automata
            return dict(d, min_pattern=d["pattern"], min_text=d["text"], min_oracle=d["oracle"], min_ours=d["ours"])
        pair = free.pop()
        try:
            return minimise(pair, d)
        finally:
            free.append(pair)

    try:
        with ThreadPoolExecutor(jobs) as pool:
            return list(pool.map(work, sample))
    finally:
        for e in engines:
            e.close()


def shown(s):
    """Text for a Markdown code span: invisible and line-breaking characters as ⟨U+XXXX⟩."""
    out = []
    for c in s:
        cp = ord(c)
        if cp < 0x20 or cp == 0x7F or 0x80 <= cp < 0xA0 or cp in (0x2028, 0x2029, 0x200B, 0x200D, 0x180E, 0xFEFF) \
                or 0x300 <= cp < 0x370 or cp == 0x345 or cp == 0x342:
            out.append(f"⟨U+{cp:04X}⟩")
        else:
            out.append(c)
    return "".join(out)


def answer(a):
    return a.replace("\t", ": ", 1)


def code(s):
    if not s:
        return "(empty)"
    s = shown(s)
    fence = "`"
    while fence in s:
        fence += "`"
    pad = " " if s.startswith("`") or s.endswith("`") or not s else ""
    return f"{fence}{pad}{s}{pad}{fence}"


def report(args, stats, groups, minimised_count, total_found, header):
    lines = []
    if header:
        lines += [header, ""]
    checks = stats["total"]
    lines.append(f"Run: `--count {args.count} --seed {args.seed}`: {args.count} pairs, {checks} checks the reference "
                 "answered (each pattern as given and with (?i)).")
    for m in MODES:
        n, agree = stats[m]
        lines.append(f"- {MODE_NAMES[m]}: {agree}/{n} agree ({100 * agree / n:.3f}%)")
    agree = sum(stats[m][1] for m in MODES)
    lines.append(f"- both together: {agree}/{checks} ({100 * agree / checks:.3f}%)")
    lines.append(f"- outcome pairs (reference/ours) among disagreements: "
                 + ", ".join(f"{o}/{v} {n}" for (o, v), n in stats["kinds"].most_common()))
    if minimised_count < total_found:
        lines.append(f"- minimised a reproducible sample of {minimised_count} of the {total_found} disagreements; "
                     f"group counts below are scaled up from that sample (marked ≈)")
    scale = total_found / minimised_count if minimised_count else 1
    approx = "≈" if minimised_count < total_found else ""
    limits = sum(len(items) for (_, owner, _, _), items in groups if owner == "limits")
    if limits:
        lines.append(f"- of the disagreements, {approx}{round(limits * scale)} are size or run-time limits of one "
                     "engine (the groups marked limits)")
    lines.append("")
    if stats["unanswered"]:
        lines.append("## Pairs an engine gave no plain answer to (not minimised)")
        for d in stats["unanswered"][:args.examples * 5]:
            lines.append(f"- {code(d['pattern'])} on {code(d['text'])}, {MODE_NAMES[d['mode']]}: "
                         f"reference {code(answer(d['oracle']))}, ours {code(answer(d['ours']))}")
        lines.append("")
    for k, ((construct, owner, o, v), items) in enumerate(groups, 1):
        modes = Counter(d["mode"] for d in items)
        split = ", ".join(f"{MODE_NAMES[m]} {approx}{round(modes[m] * scale)}" for m in MODES if modes[m])
        lines.append(f"## {k}. {construct} ({owner}): reference {o}, ours {v} "
                     f"— {approx}{round(len(items) * scale)} checks ({split})")
        seen = Counter((d["min_pattern"], d["min_text"], d["mode"]) for d in items)
        examples = {}
        for d in items:
            examples.setdefault((d["min_pattern"], d["min_text"], d["mode"]), d)
        for (p, t, m), n in seen.most_common(args.examples):
            d = examples[(p, t, m)]
            lines.append(f"- {code(p)} on {code(t)}, {MODE_NAMES[m]}, ×{n}: reference {code(answer(d['min_oracle']))}, "
                         f"ours {code(answer(d['min_ours']))}; from {code(d['pattern'])} on {code(d['text'])}")
        lines.append("")
    return "\n".join(lines)


def compare(pairs, answers):
    """Agreement per mode, and the disagreements; a pair the reference could
    not answer (its crash or hang) counts on neither side."""
    stats = {"total": 0, "kinds": Counter(), "reference": Counter(), "unanswered": []}
    found = []
    for m in MODES:
        agree = 0
        for i, ((p, t), (o, v)) in enumerate(zip(pairs, answers[m])):
            ko, kv = outcome(o), outcome(v)
            stats["reference"][ko] += 1
            if ko not in KINDS or kv not in KINDS:
                stats["unanswered"].append(dict(mode=m, pattern=p, text=t, oracle=o, ours=v))
            if ko not in KINDS:
                continue  # the reference's own failure says nothing about ours
            if ko == kv:
                agree += 1
            else:
                stats["kinds"][(ko, kv)] += 1
                found.append(dict(index=i, mode=m, pattern=p, text=t, oracle=o, ours=v, oracle_kind=ko, ours_kind=kv))
        decided = len(pairs) - sum(1 for d in stats["unanswered"] if d["mode"] == m and outcome(d["oracle"]) not in KINDS)
        stats[m] = (decided, agree)
        stats["total"] += decided
    return stats, found


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--count", type=int, default=10000, help="pattern and text pairs to generate")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--jobs", type=int, default=4, help="engine pairs run side by side")
    ap.add_argument("--shrink-limit", type=int, default=1500, help="most disagreements to minimise")
    ap.add_argument("--examples", type=int, default=4, help="examples shown per group")
    ap.add_argument("--report", help="write the grouped disagreements here as Markdown")
    ap.add_argument("--header", default="", help="Markdown put at the top of the report")
    ap.add_argument("--dump", help="also write the minimised disagreements here, one JSON object a line")
    ap.add_argument("--ask", nargs=2, metavar=("PATTERN", "TEXT"), help="answer one pair in both modes and stop")
    args = ap.parse_args()

    oracle = os.environ.get(ENV)
    if not oracle:
        print(f"{ENV} is not set to the reference engine's binary: nothing to do.")
        return 0

    if args.ask:
        pair = Pair(oracle)
        for m in MODES:
            o, v = pair.ask(*args.ask, m)
            print(f"{MODE_NAMES[m]:>10}: reference {o!r}, ours {v!r}")
        pair.close()
        return 0

    started = time.time()
    pairs = [generate(args.seed, i) for i in range(args.count)]
    generated = time.time()
    answers = run_pairs(oracle, pairs, args.jobs)
    ran = time.time()

    stats, found = compare(pairs, answers)
    for m in MODES:
        n, agree = stats[m]
        print(f"{MODE_NAMES[m]:>10}: {agree}/{n} agree ({100 * agree / n:.3f}%)")
    agree = sum(stats[m][1] for m in MODES)
    print(f"{'both':>10}: {agree}/{stats['total']} agree ({100 * agree / stats['total']:.3f}%)")
    print("reference outcomes: " + ", ".join(f"{k} {n}" for k, n in stats["reference"].most_common()))
    print(f"generated in {generated - started:.1f}s, ran in {ran - generated:.1f}s", file=sys.stderr)

    if args.report:
        minimised = minimise_all(oracle, found, args.jobs, args.shrink_limit, args.seed)
        by_group = defaultdict(list)
        for d in minimised:
            construct, owner = classify(d["min_pattern"], d["mode"], d["min_oracle"], d["min_ours"], d["oracle"],
                                       d["min_text"])
            by_group[(construct, owner, d["oracle_kind"], d["ours_kind"])].append(d)
        groups = sorted(by_group.items(), key=lambda kv: -len(kv[1]))
        if args.dump:
            with open(args.dump, "w") as out:
                for (construct, owner, _, _), items in groups:
                    for d in items:
                        out.write(json.dumps(dict(d, construct=construct, owner=owner), ensure_ascii=False) + "\n")
        Path(args.report).write_text(report(args, stats, groups, len(minimised), len(found), args.header) + "\n")
        print(f"minimised {len(minimised)} disagreements in {time.time() - ran:.1f}s into {len(groups)} groups: "
              f"{args.report}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
