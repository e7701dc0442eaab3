"""Names the construct a minimised disagreement turns on.

The first rule whose expression finds something in the minimised pattern
wins, so the more specific rules come first. The owner says which part of the
front end the construct belongs to: the class reader or the structure.
"""

import re

CLASS, STRUCTURE = "class", "structure"

RULES = [
    ("nesting depth", STRUCTURE, r"^\({40}"),
    ("rejected escape, verb or group form", STRUCTURE,
     r"\\[QEgNCXRVlLFijJmMqTyYoc]|\(\?[|R&C+]|\(\?P>|\(\*|\(\?\d|\(\?[^()]*[nJX^]"),
    ("code point escape \\x \\u \\U", STRUCTURE, r"\\[xuU]"),
    ("class set operation && -- ~~", CLASS, r"\[[^\]]*(&&|--|~~)"),
    ("POSIX class or look-alike", CLASS, r"\[\[?[:=.]|\[:"),
    ("Unicode property \\p \\P", CLASS, r"\\[pP]"),
    ("hex-digit class \\h \\H", CLASS, r"\\[hH]"),
    ("bracket class", CLASS, r"\["),
    ("Perl class \\d \\s \\w", CLASS, r"\\[dDsSwW]"),
    ("word boundary \\b \\B \\< \\>", STRUCTURE, r"\\[bB<>]"),
    ("conditional", STRUCTURE, r"\(\?\("),
    ("look-behind", STRUCTURE, r"\(\?<[=!]"),
    ("look-ahead", STRUCTURE, r"\(\?[=!]"),
    ("back-reference", STRUCTURE, r"\\\d|\\k|\(\?P="),
    ("atomic group or possessive", STRUCTURE, r"\(\?>|[*+?}]\+"),
    ("named group", STRUCTURE, r"\(\?P?<|\(\?'"),
    ("comment group", STRUCTURE, r"\(\?#"),
    ("x mode", STRUCTURE, r"\(\?[a-zA-Z]*x"),
    ("flag group or scope", STRUCTURE, r"\(\?[imsxuU-]*[):]"),
    ("\\A \\z \\Z \\G \\K \\O", STRUCTURE, r"\\[ZzAGKO]"),
    ("counted repetition or literal {", STRUCTURE, r"\{"),
    ("quantifier", STRUCTURE, r"[*+?]"),
    ("anchor ^ $", STRUCTURE, r"[\^$]"),
    ("dot", STRUCTURE, r"\."),
    ("escape", STRUCTURE, r"\\"),
    ("literal", STRUCTURE, r""),
]
COMPILED = [(name, owner, re.compile(rx)) for name, owner, rx in RULES]


def classify(pattern: str, mode: str):
    """(construct, owner) of a minimised pattern; literals and classes under
    "(?i)" are a matter of case folding."""
    for name, owner, rx in COMPILED:
        if rx.search(pattern):
            if mode == "i" and name == "literal":
                return "case folding of literals", STRUCTURE
            return name, owner
    raise AssertionError("the last rule matches everything")
