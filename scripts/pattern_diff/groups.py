"""Names the construct a minimised disagreement turns on.

The first rule whose expression finds something in the minimised pattern
wins, so the more specific rules come first. The owner says which part of the
front end the construct belongs to: the class reader or the structure.
"""

import re

from alphabet import FOLD_PARTNERS

CLASS, STRUCTURE = "class", "structure"

RULES = [
    ("nesting depth", STRUCTURE, r"^\({40}"),
    ("rejected escape, verb or group form", STRUCTURE,
     r"\\[QEgNCXRVlLFijJmMqTyYoc]|\(\?[|R&C+]|\(\?P>|\(\*|\(\?\d|\(\?[a-zA-Z^-]*[nJX^]"),
    ("conditional", STRUCTURE, r"\(\?\("),
    ("look-behind", STRUCTURE, r"\(\?<[=!]"),
    ("look-ahead", STRUCTURE, r"\(\?[=!]"),
    ("back-reference", STRUCTURE, r"\\\d|\\k|\(\?P="),
    ("atomic group or possessive", STRUCTURE, r"\(\?>|[*+?}]\+"),
    ("word boundary \\b \\B \\< \\>", STRUCTURE, r"\\[bB<>]"),
    ("named group", STRUCTURE, r"\(\?P?<|\(\?'"),
    ("comment group", STRUCTURE, r"\(\?#"),
    ("x mode", STRUCTURE, r"\(\?[a-zA-Z]*x"),
    ("flag group or scope", STRUCTURE, r"\(\?[imsxuU-]*[):]"),
    ("\\A \\z \\Z \\G \\K \\O", STRUCTURE, r"\\[ZzAGKO]"),
    ("class set operation && -- ~~", CLASS, r"\[[^\]]*(&&|--|~~)"),
    ("POSIX class or look-alike", CLASS, r"\[\[?[:=.]|\[:"),
    ("Unicode property \\p \\P", CLASS, r"\\[pP]"),
    ("hex-digit class \\h \\H", CLASS, r"\\[hH]"),
    ("bracket class", CLASS, r"\["),
    ("Perl class \\d \\s \\w", CLASS, r"\\[dDsSwW]"),
    ("code point escape \\x \\u \\U", STRUCTURE, r"\\[xuU]"),
    ("counted repetition or literal {", STRUCTURE, r"\{"),
]
# Only when none of the above is in the pattern.
PLAIN = [
    ("quantifier", STRUCTURE, r"[*+?]"),
    ("anchor ^ $", STRUCTURE, r"[\^$]"),
    ("dot", STRUCTURE, r"\."),
    ("escape", STRUCTURE, r"\\"),
    ("literal", STRUCTURE, r""),
]
COMPILED = [(name, owner, re.compile(rx)) for name, owner, rx in RULES]  # the first that is in the pattern wins
CASE_FLAG = re.compile(r"\(\?[a-zA-Z]*i")
COMPILED_PLAIN = [(name, owner, re.compile(rx)) for name, owner, rx in PLAIN]


# Limits of either engine rather than readings of the syntax: told apart by
# the answers, before the pattern is looked at.
LIMITS = [
    ("size limit of the reference (its automaton for a large count)", "limits",
     lambda ref, ours: "error building NFA" in ref or "Failed to build reverse DFA" in ref),
    ("size limit of ours (PCRE2 pattern too large)", "limits", lambda ref, ours: "too large" in ours or "too long" in ours),
    ("run-time limit of the reference (a failed match, so no match)", "limits",
     lambda ref, ours: ref.startswith("runtime")),
]
REVERSED = ("reversed repetition range {n,m} with n > m (the reference accepts it only where its backtracker "
            "compiles that part)", STRUCTURE)
RANGE = re.compile(r"\{\s*(\d+)\s*,\s*(\d+)\s*\}")


def has_reversed_range(pattern):
    return any(int(lo) > int(hi) for lo, hi in RANGE.findall(pattern))


def _lengths_differ(c):
    partners = FOLD_PARTNERS.get(c, ())
    return any(len(p.encode()) != len(c.encode()) for p in partners)


def engine_limit(reference: str, ours: str):
    """The limit a pair ran into, or None."""
    for name, owner, test in LIMITS:
        if test(reference, ours):
            return name, owner
    return None


def classify(pattern: str, mode: str, reference: str = "", ours: str = "", original_reference: str = "", text: str = ""):
    """(construct, owner) of a minimised pattern and the answers it got;
    `original_reference` is the answer to the pair before minimising."""
    for name, owner, test in LIMITS:
        if test(reference, ours) or test(original_reference, ""):
            return name, owner
    if has_reversed_range(pattern):
        return REVERSED
    name, owner = next((name, owner) for name, owner, rx in COMPILED + COMPILED_PLAIN if rx.search(pattern))
    if name == "back-reference" and (mode == "i" or CASE_FLAG.search(pattern)) and any(map(_lengths_differ, text)):
        return "case-insensitive back-reference across fold partners of different UTF-8 lengths", STRUCTURE
    if mode == "i" and name == "literal":
        return "case folding of literals", STRUCTURE
    return name, owner
