"""Characters the generated patterns and texts are drawn from.

Weighted toward the places where engines tend to disagree: case-fold partners
whose UTF-8 lengths differ, the edges of \\w and \\s, line ends, scripts whose
Unicode data moved between versions.
"""

ASCII_LETTERS = "abckszABCKSZ"
DIGITS = "0159"
PUNCT = " _-.,:;!?#&~[]{}()<>^$|*+\\/'\"=@%`"
CONTROLS = "\n\r\t\x0b\x0c\x00\x07\x1b\x08"

# Each tuple is one simple case-fold class (or a near miss such as İ/ı).
FOLD_CLASSES = [
    ("k", "K", "\u212a"), ("s", "S", "\u017f"), ("\u00df", "\u1e9e"), ("\u03c3", "\u03c2", "\u03a3"),
    ("\u03b8", "\u03d1", "\u03f4", "\u0398"), ("\u00b5", "\u03bc", "\u039c"), ("\u01c5", "\u01c6", "\u01c4"),
    ("\u0345", "\u03b9", "\u1fbe", "\u0399"), ("\u00e5", "\u00c5", "\u212b"), ("\u03c9", "\u03a9", "\u2126"),
    ("i", "I", "\u0130", "\u0131"), ("\u00e9", "\u00c9"), ("a", "A"), ("b", "B"), ("z", "Z"),
    ("\u10d0", "\u1c90"), ("\ua7c0", "\ua7c1"),  # case pairs added after Unicode 14
]

# Edges of the Perl classes, properties and word boundaries.
WORD_EDGES = "\u0301\u203f\u200d\u24d0\u00b2\u2070\u0903\u0663\u216b\U00011f50\u00aa\u02b0"
SPACE_EDGES = "\u0085\u00a0\u1680\u180e\u2028\u2029\u3000\u200b\u2007"
SCRIPT_SAMPLES = "\u03b1\u0342\u0434\u4e2d\u0628\U00011f04\u0378\U0001f600\ue000\U0010ffff\ufffd\u00e0"

FOLD_PARTNERS = {c: cls for cls in FOLD_CLASSES for c in cls}

INTERESTING = (ASCII_LETTERS + DIGITS + PUNCT + CONTROLS + "".join("".join(c) for c in FOLD_CLASSES) + WORD_EDGES
               + SPACE_EDGES + SCRIPT_SAMPLES)

# One sample per set, so that a text can hit a class the pattern names.
CLASS_SAMPLES = {
    "d": "05\u0663\U00011f50\u00b2", "s": " \t\n\x0b\u0085\u00a0\u180e\u2028", "w": "a_\u00e9\u0301\u203f\u200d\u24d0\u00b2\u216b",
    "h": "09afAFgG", "O": "\n\r.", ".": "\n\r\u0085a", "b": " a\u00b2\u0301", "posix": "aZ5 \t\x0b_!~\x7f\u00e9",
    "greek": "\u03b1\u03a9\u0342\u1fbe", "latin": "aZ\u00e9\u212a\u212b", "upper": "AK\u212a\u01c5\u01c4a",
}
