"""Random patterns of the search syntax, each with a text it is likely to match.

Every generator returns (pattern source, sample text). The sample is one text
the piece would match if the engines read it as intended; the driver mutates
it, so both outcomes come up often. Weights lean toward the constructs where a
Perl-compatible engine reads the same text differently, and a share of the
output is malformed or uses constructs the syntax rejects.
"""

import random

from alphabet import CLASS_SAMPLES, FOLD_CLASSES, FOLD_PARTNERS, INTERESTING

LITERALS = "aabbcckkssKSz019 _-,:;!&~]}<>=@%#'\"/\u00e9\u00df\u03c3\u03a3\u212a\u017f\u1e9e\u03b8\u00e5\u0130\u4e2d\u03b1\U0001f600\u0301"
NEEDS_ESCAPE = set("\\.^$|?*+()[{")

PROPERTIES = [
    "L", "Lu", "Ll", "Lt", "Lm", "Lo", "N", "Nd", "Nl", "No", "P", "Pc", "Pd", "S", "Sc", "Z", "Zs", "M", "Mn", "C",
    "Cc", "Cf", "Cn", "Co", "LC", "Greek", "Grek", "Latin", "Latn", "Common", "Zyyy", "Inherited", "Zinh", "Qaai",
    "Cyrillic", "Han", "Arabic", "Kawi", "Any", "ASCII", "Assigned", "Alphabetic", "Alpha", "White_Space", "space",
    "WSpace", "Uppercase", "Lowercase", "Upper", "Lower", "Cased", "Case_Ignorable", "Emoji", "Hex_Digit",
    "ASCII_Hex_Digit", "Dash", "Math", "Join_Control", "Changes_When_Casefolded", "Default_Ignorable_Code_Point",
    "Hyphen", "Other_Alphabetic", "Other_Lowercase", "IDS_Unary_Operator", "ID_Compat_Math_Start",
    "Modifier_Combining_Mark", "Extended_Pictographic", "Regional_Indicator", "Soft_Dotted", "XID_Start",
    "sc=Greek", "sc:Latin", "scx=Greek", "Script_Extensions=Greek", "scx=Zinh", "gc=Lu", "gc:L", "gc!=Lu",
    "General_Category=Letter", "gc=Uppercase_Letter", "age=3.0", "age=V1_1", "age=16.0", "wb=ALetter", "wb=LE",
    "gcb=Extend", "sb=Upper", "Script=Kawi", "script!=Greek",
    "is_letter", " LETTER ", "IsLetter", "uppercaseletter", "Uppercase_Letter", "Decimal_Number", "Currency_Symbol",
    "Other", "punct", "Digit", "Combining_Mark", "Cased_Letter", "cf", "sc", "lc", "IsGreek", "isgreek", "GREEK",
    "upper-case", "white space", "Is_Alpha", "gc = lu",
]
BAD_PROPERTIES = ["L\u00e9tter", "^Greek", "L&", "Xan", "Xwd", "Xps", "Xsp", "Cs", "Unknown", "Zzzz", "bc=L",
                  "Bidi_Class=L", "InCB", "InCB=Linker", "Alphabetic=Yes", "Foo", "", "gc=", "=Lu", "age=99",
                  "Greek Extended", "InGreek"]
SINGLE_PROPS = "LNPSZMCLNl"
POSIX = ["alnum", "alpha", "ascii", "blank", "cntrl", "digit", "graph", "lower", "print", "punct", "space", "upper",
         "word", "xdigit"]
POSIX_LOOKALIKES = ["[:foo:]", "[:DIGIT:]", "[: digit:]", "[=a=]", "[.a.]", "[:alpha]", "[:^alpha]", "[:word", "[::]"]
REJECTED = [
    r"\Qa.b\E", r"\E", r"\o{101}", r"\cA", r"\N", r"\N{U+41}", r"\C", r"\X", r"\R", r"\V", r"\l", r"\L", r"\F",
    r"\i", r"\j", r"\m", r"\q", r"\T", r"\y", r"\Y", r"\g1", r"\g{1}", r"\g-1", r"\g<1>", r"\g'n'", r"\k{n}", r"\k",
    r"\kx", r"(?|a|b)", r"(?R)", r"(?1)", r"(?+1)", r"(?&n)", r"(?P>n)", r"(?C1)", r"(?C)", r"(*FAIL)", r"(*ACCEPT)",
    r"(*UTF)", r"(*CR)", r"(*SKIP)", r"(?n)", r"(?J)", r"(?^)", r"(?-)", r"(?)", r"(?-:a)", r"(?-u)", r"(?Rm)",
    r"(?--i)", r"(?i-m-s)", r"(?X)", r"\B{start}", r"\b{}", r"\b{foo}", r"\b{ start }", r"\0", r"\00", r"\012",
    r"\p{^Greek}", r"\x{}", r"\x4", r"\xZ", r"\x{110000}", r"\x{D800}", r"\x{123456789}", r"\u12", r"\U0041",
    "\\", r"\Z*", r"\K+", r"\G?", r"(?=a)*", r"(?!a)+", r"(?<=a){2}", r"(?:)*", r"(?i)*", r"a**", r"a*+*", r"a?*",
    r"a{2}*", r"(?(?=a)a|b)", r"(?(?!a)a)", r"(?(?:a)b)", r"(?(a))", r"(?(1))*", r"(?<a-b>x)", r"(?P<a.b>x)", r"(?<>x)",
    r"(?<n", r"\k<+0>", r"\k<-0>", r"\k<n+1>", r"(?P=zz)", r"a{2,1}", r"[z-a]", r"[\d-z]", r"[a-\d]", r"[a-[:digit:]]",
    r"[]", r"[^]", r"[a[]", r"[\Z]", r"[\O]", r"[\g]", r"[\1]", r"[\Q]", r"[\c]", r"\p", r"\p{", r"\pé", r"\P{}",
]
MALFORMED = ["(", ")", "[", "]", "{", "}", "|", "*", "+", "?", "\\", "(?", "(?<", "[^", "{1", "{,", "a{", "\\x{",
             "\\p{L", "(?#", "(?i", "[[:", "&&", "--", "~~"]


class Gen:
    def __init__(self, rng: random.Random):
        self.rng = rng
        self.groups = 0
        self.names = []
        self.depth = 0
        self.verbose = False  # x mode switched on somewhere: whitespace may be sprinkled

    # -- helpers ------------------------------------------------------------
    def pick(self, weighted):
        """weighted: list of (weight, fn); calls the chosen fn."""
        total = sum(w for w, _ in weighted)
        r = self.rng.random() * total
        for w, fn in weighted:
            r -= w
            if r < 0:
                return fn()
        return weighted[-1][1]()

    def chance(self, p):
        return self.rng.random() < p

    def ws(self):
        """Whitespace or a comment, where x mode would skip it."""
        if not self.verbose or not self.chance(0.3):
            return ""
        return self.rng.choice([" ", "  ", "\t", "\n", "# note\n", " #c\n", "\r"])

    def char(self):
        return self.rng.choice(LITERALS if self.chance(0.8) else INTERESTING)

    # -- top level ----------------------------------------------------------
    def pattern(self):
        src, sample = self.alternation()
        if self.chance(0.03):
            src = self.corrupt(src)
        return src, sample

    def corrupt(self, src):
        pos = self.rng.randrange(len(src) + 1)
        if src and self.chance(0.5):
            return src[:pos] + src[pos + 1:]
        return src[:pos] + self.rng.choice(MALFORMED) + src[pos:]

    def alternation(self):
        n = self.rng.choice([1, 1, 1, 1, 2, 2, 3])
        parts = [self.sequence() for _ in range(n)]
        chosen = self.rng.choice(parts)[1]
        return "|".join(p for p, _ in parts), chosen

    def sequence(self):
        limit = 3 if self.depth < 1 else 2
        n = self.rng.randint(0 if self.chance(0.05) else 1, limit)
        src, sample = "", ""
        for _ in range(n):
            s, t = self.item()
            src += self.ws() + s
            sample += t
        return src, sample

    def item(self):
        s, t, quantifiable = self.atom()
        if quantifiable is not None and self.chance(0.3):
            return self.quantify(s, t)
        return s, t

    # -- atoms --------------------------------------------------------------
    def atom(self):
        """(source, sample, quantifiable); quantifiable None means a quantifier
        is not worth trying (it would be a parse error anyway)."""
        deep = self.depth < 3
        choices = [
            (30, self.literal),
            (8, self.escaped_literal),
            (10, self.code_point_escape),
            (8, self.perl_class),
            (5, self.dot_like),
            (8, self.property),
            (16, self.bracket_class),
            (2, self.posix_outside),
            (9, self.anchor),
            (3 if self.groups else 0.3, self.backref),
            (1, self.rejected),
            (2, self.brace_literal),
        ]
        if deep:
            choices += [(10, self.group), (4, self.flag_group), (6, self.lookaround), (2, self.conditional)]
        return self.pick(choices)

    def literal(self):
        c = self.char()
        if c in NEEDS_ESCAPE:
            c = "\\" + c
        elif self.verbose and c in " \t\n\r#":
            c = "\\" + c
        return c, c.lstrip("\\") if len(c) == 2 else c, True

    def escaped_literal(self):
        c = self.rng.choice(".*-'&`=!,:;\"/@~%#_ \u00e9$^|()[]{}+?\\")
        return "\\" + c, c, True

    def code_point_escape(self):
        c = self.rng.choice(INTERESTING) if self.chance(0.7) else self.rng.choice("aKk\u212a\u00df")
        cp = ord(c)
        h = f"{cp:x}" if self.chance(0.5) else f"{cp:X}"
        forms = []
        if cp < 0x100:
            forms.append("\\x" + h.zfill(2))
        if cp < 0x10000:
            forms.append("\\u" + h.zfill(4))
        forms += ["\\U" + h.zfill(8), "\\x{" + h + "}", "\\u{" + h + "}", "\\U{" + h.zfill(self.rng.randint(len(h), 8)) + "}"]
        form = self.rng.choice(forms)
        if self.verbose and self.chance(0.3):
            form = form[:2] + " " + form[2:]
        if self.chance(0.15):
            form = self.rng.choice([r"\n", r"\t", r"\r", r"\f", r"\v", r"\a", r"\e"])
            c = {"n": "\n", "t": "\t", "r": "\r", "f": "\x0c", "v": "\x0b", "a": "\x07", "e": "\x1b"}[form[1]]
        return form, c, True

    def perl_class(self):
        e = self.rng.choice("dDsSwWhH")
        sample = self.rng.choice(CLASS_SAMPLES["h" if e in "hH" else e.lower()])
        return "\\" + e, sample, True

    def dot_like(self):
        e = self.rng.choice([".", ".", "\\O"])
        return e, self.rng.choice(CLASS_SAMPLES["O"]), True

    def property_name(self):
        if self.chance(0.2):
            return self.rng.choice(SINGLE_PROPS)
        return "{" + self.rng.choice(PROPERTIES if self.chance(0.95) else BAD_PROPERTIES) + "}"

    def property(self):
        sample = self.rng.choice(CLASS_SAMPLES["greek"] + CLASS_SAMPLES["upper"] + CLASS_SAMPLES["w"])
        return "\\" + self.rng.choice("pppP") + self.property_name(), sample, True

    def posix_outside(self):
        name = self.rng.choice(POSIX)
        return f"[:{name}:]", self.rng.choice(name + ":"), True

    def anchor(self):
        a = self.rng.choice(["^", "^", "$", "$", r"\A", r"\z", r"\Z", r"\b", r"\b", r"\B", r"\<", r"\>",
                             r"\b{start}", r"\b{end}", r"\b{start-half}", r"\b{end-half}", r"\G", r"\K"])
        if a.startswith(r"\b{") and self.verbose and self.chance(0.3):
            a = r"\b {" + a[3:]
        sample = "\n" if a in ("^", "$", r"\Z") and self.chance(0.3) else ""
        return a, sample, (None if a in (r"\Z", r"\K", r"\G") and self.chance(0.9) else True)

    def backref(self):
        n = self.groups
        top = n + 1 if self.chance(0.1) else max(1, n)
        forms = [lambda: "\\" + str(self.rng.randint(1, top)), lambda: "\\0" + str(self.rng.randint(1, top)),
                 lambda: f"\\k<{self.rng.randint(1, top)}>", lambda: f"\\k<-{self.rng.randint(1, top)}>",
                 lambda: f"\\k<+{self.rng.randint(1, 2)}>"]
        if self.names:
            name = self.rng.choice(self.names)
            forms += [lambda: f"\\k<{name}>", lambda: f"\\k'{name}'", lambda: f"(?P={name})"] * 2
        return self.rng.choice(forms)(), "", True

    def brace_literal(self):
        """A `{` that is not a quantifier is literal text."""
        s = self.rng.choice(["{", "{2}", "{a}", "{,", "{1,2,3}", "}", "{}", "{ 2}", "{2", "x{", "{,}"])
        return s, s, True

    def rejected(self):
        return self.rng.choice(REJECTED), "", None

    # -- classes ------------------------------------------------------------
    def class_char(self):
        c = self.char()
        if c in "[]\\" or (c in "&~-" and self.chance(0.5)):
            return "\\" + c, c
        return c, c

    def class_item(self):
        def rng_range():
            lo, hi = sorted([self.rng.choice("aaabkmsxzAKZ059"), self.rng.choice("abkmszAKZ59")])
            if self.chance(0.02):
                lo, hi = hi, lo
            if self.chance(0.1):
                lo, hi = self.rng.choice([("\u00e0", "\u00ff"), ("\u0391", "\u03a9"), ("\u2100", "\u2130"),
                                          ("\x00", "\x1f"), ("!", "/")])
            return f"{lo}-{hi}", self.rng.choice([lo, hi, chr((ord(lo) + ord(hi)) // 2)]) if lo <= hi else lo

        def escape():
            e = self.rng.choice(["\\b", "\\A", "\\z", "\\B", "\\k", "\\K", "\\G", "\\<", "\\>", "\\h", "\\H", "\\d",
                                 "\\D", "\\s", "\\S", "\\w", "\\W", "\\-", "\\]", "\\[", "\\^", "\\\\", "\\&", "\\~",
                                 "\\ ", "\\n", "\\t", "\\v", "\\x41", "\\u{212A}", "\\x{3c3}", "\\U000000DF", "\\.",
                                 "\\e", "\\\u00e9"])
            samples = {"\\b": "\x08", "\\h": "a", "\\H": "g", "\\d": "5", "\\D": "x", "\\s": " ", "\\S": "x",
                       "\\w": "\u0301", "\\W": "!", "\\n": "\n", "\\t": "\t", "\\v": "\x0b", "\\x41": "A",
                       "\\u{212A}": "k", "\\x{3c3}": "\u03c2", "\\U000000DF": "\u1e9e", "\\e": "\x1b"}
            return e, samples.get(e, e[-1])

        def posix():
            name = self.rng.choice(POSIX)
            neg = "^" if self.chance(0.2) else ""
            return f"[:{neg}{name}:]", self.rng.choice(CLASS_SAMPLES["posix"])

        def lookalike():
            s = self.rng.choice(POSIX_LOOKALIKES)
            return s, self.rng.choice(s)

        def prop():
            s, t, _ = self.property()
            return s, t

        def nested():
            return self.bracket_body()

        def special():
            return self.rng.choice(["&", "~", "-", "^", "[", "&-", "|", "$", ".", "*", " ", "#", "(", "{"]), "&"

        choices = [(30, self.class_char), (15, rng_range), (12, escape), (7, posix), (2, lookalike), (6, prop),
                   (4, special)]
        if self.depth < 5:
            choices.append((8, nested))
        return self.pick(choices)

    def bracket_operand(self):
        items = [self.class_item() for _ in range(self.rng.randint(0 if self.chance(0.1) else 1, 3))]
        return "".join(s for s, _ in items), (self.rng.choice(items)[1] if items else "")

    def bracket_body(self):
        self.depth += 1
        negate = "^" if self.chance(0.2) else ""
        lead = self.rng.choice(["]", "-"]) if self.chance(0.06) else ""
        src, sample = self.bracket_operand()
        while self.chance(0.25):
            op = self.rng.choice(["&&", "--", "~~"])
            s, t = self.bracket_operand()
            src += op + s
            sample = self.rng.choice([sample, t])
        if not src and not lead and self.chance(0.8):
            src = "a"
        tail = "-" if self.chance(0.04) else ""
        self.depth -= 1
        return f"[{negate}{lead}{src}{tail}]", sample

    def bracket_class(self):
        s, t = self.bracket_body()
        return s, t, True

    # -- groups -------------------------------------------------------------
    def body(self):
        self.depth += 1
        s, t = self.alternation()
        self.depth -= 1
        return s, t

    def name(self):
        if self.names and self.chance(0.2):
            return self.rng.choice(self.names)
        n = self.rng.choice(["n", "a", "word", "x1", "1a", "\u00e9", "_", "N2", "g"])
        self.names.append(n)
        return n

    def group(self):
        kind = self.rng.choice(["(", "(", "(", "(?:", "(?:", "(?<", "(?P<", "(?'", "(?>", "(?#"])
        if kind == "(?#":
            text = self.rng.choice(["note", "a)b", "x\\)y", "", "(?i)"])
            return f"(?#{text})", "", None
        lead = self.ws() if kind == "(" else ""
        if kind in ("(", "(?<", "(?P<", "(?'"):
            self.groups += 1
        if kind in ("(?<", "(?P<"):
            kind += self.name() + ">"
        elif kind == "(?'":
            kind += self.name() + "'"
        s, t = self.body()
        return kind + lead + s + ")", t, True

    def flags(self):
        letters = "".join(self.rng.choice("iiimsxUu") for _ in range(self.rng.randint(1, 2)))
        if self.chance(0.3):
            letters = self.rng.choice(["", letters]) + "-" + "".join(self.rng.choice("imsxU") for _ in range(1))
        if "x" in letters.split("-")[0]:
            self.verbose = True
        return letters

    def flag_group(self):
        f = self.flags()
        if self.chance(0.5):
            return f"(?{f})", "", None
        s, t = self.body()
        return f"(?{f}:{s})", t, True

    def lookaround(self):
        kind = self.rng.choice(["(?=", "(?!", "(?<=", "(?<!", "(?<=", "(?<!"])
        if kind.startswith("(?<") and self.chance(0.5):
            s = self.rng.choice(["a+", "\\d{2,4}", "a|bc", "a.+", "a*", "^a", "^|x", "\\ba+", "(a)\\1", "\\w", "[ab]{2}",
                                 "a?", "(?i)k", "\\b", "ab|c+", "\\K", "(?=a)a+"])
            t = "a"
        else:
            s, t = self.body()
        return kind + s + ")", (t if kind in ("(?=", "(?<=") else ""), (True if self.chance(0.05) else None)

    def conditional(self):
        form = self.rng.randrange(6)
        if form == 0 and self.groups:
            cond = str(self.rng.randint(1, self.groups + 1))
        elif form == 1 and self.names:
            n = self.rng.choice(self.names)
            cond = self.rng.choice([f"<{n}>", f"'{n}'"])
        elif form == 2:
            cond = self.rng.choice(["+1", "-1", "1", "2"])
        elif form == 3:
            cond = self.rng.choice(["(?=a)", "(?!a)", "?=a"])
            cond = "(" + cond + ")" if cond.startswith("(") and self.chance(0.7) else cond
        else:
            cond, _ = self.body()
        yes, t1 = self.body()
        branches = [yes]
        if self.chance(0.7):
            no, t2 = self.body()
            branches.append(no)
            if self.chance(0.2):
                branches.append(self.body()[0])
        elif self.chance(0.3):
            branches = [""]
        return f"(?({cond}){'|'.join(branches)})", t1, True

    # -- repetition ---------------------------------------------------------
    def quantify(self, src, sample):
        # Each form is drawn equally often, a reversed range {n,m} with n > m
        # among them (the syntax reads it by where it stands).
        form = self.rng.randrange(10)
        if form < 3:
            q = "*+?"[form]
            reps = {"*": self.rng.randint(0, 3), "+": self.rng.randint(1, 3), "?": self.rng.randint(0, 1)}[q]
        else:
            lo = self.rng.choice([0, 0, 1, 2, 3])
            hi = lo + self.rng.choice([0, 1, 2])
            sp = self.ws
            if form == 9:
                hi = lo + self.rng.choice([1, 2])
                q = self.rng.choice([f"{{{hi},{lo}}}", f"{{{sp()}{hi}{sp()},{sp()}{lo}{sp()}}}"])
                lo, hi = hi, lo
            else:
                q = [f"{{{lo}}}", f"{{{lo},}}", f"{{{lo},{hi}}}", f"{{,{hi}}}", "{,}",
                     f"{{{sp()}{lo}{sp()},{sp()}{hi}{sp()}}}"][form - 3]
            if self.chance(0.057):  # 4% of all quantifiers, as before reversed ranges had a form of their own
                q = self.rng.choice(["{a}", "{", "{1,2,3}", "{ 2}", "{99999}", "{65536}",
                                     "{1,70000}", "{18446744073709551616}", "{2", "{}"])
            reps = hi if form == 9 else lo if "{," not in q else hi
            if reps > 5 or not q[1:2].isdigit() and q[1:2] not in (",",):
                reps = lo
        if self.chance(0.2):
            q += self.ws() + "?"
        if self.chance(0.1):
            q += "+"
        if self.chance(0.03):
            q += self.rng.choice(["{2}", "{2}", "{,3}", "*"])
        return src + self.ws() + q, sample * min(reps, 4)


def fold_pick(rng):
    cls = rng.choice(FOLD_CLASSES)
    return rng.choice(cls), rng.choice(cls)


def quirk(rng: random.Random):
    """A small pattern aimed at one known trap, with a text for it."""
    pick = rng.choice
    a, b = fold_pick(rng)
    c = pick("aks\u00e9\u03c3")
    lit = pick(["a", "k", "s", "\u00df", "\u03c3", "\u0130", "\u017f"])
    ws = pick([" ", "\t", "\n", "# c\n", ""])
    flag = pick(["?i", "?s", "?m", "?x", "?U"])
    word = pick(["a", "\u00b2", "\u0301", "x"])
    behind = pick(["a+", "a|bc", "a{2,4}", "a.+", "a*", "^a", "(a)\\1", "a\\b"])
    cond = pick(["1", "+1", "-1", "a", ""])
    prop = pick(["Lu", "Ll", "Lt", "Upper"])
    posix = pick(["upper", "lower", "alpha"])
    depth = pick([10, 40, 63, 64, 70, 300])
    lo, hi = pick(["\\x41", "\\n", "\\-", "a"]), pick(["\\x5A", "\\r", "/", "z", "\\u{D7FF}"])
    templates = [
        (pick([f"(?i)({a})\\1", f"({a})(?i:\\1)", f"(?i)(?<n>{a}+)\\k<n>"]), a + b),
        (f"(({flag}){c})" + c, c + c.upper()), ("(a|(?i)b)c", pick(["BC", "bC", "aC", "ac"])),
        (f"(?=(?i){c}){c.upper()}", c.upper()),
        ("(?m)^$", pick(["a\n", "\n", "a", "a\r\n", ""])), ("(?m)a$", pick(["a\r\nb", "a\nb", "a\r"])),
        ("a\\Z", pick(["a\n\n", "a\n", "a\r\n", "a", "a\nb"])), ("a$", pick(["a\n", "a"])),
        (f"\\b{word}", pick([" \u00b2", "a", " \u0301", "\u203fx", "x"])),
        (f"(?x){lit}{ws}{{{ws}2{ws},{ws}3{ws}}}", lit * rng.randint(1, 4)), (f"(?x)\\x{ws}{{{ws}41{ws}}}", "A"),
        (f"(?x)a{ws}*{ws}?" + pick(["", "+", " +"]), "aaa"), (f"(?x)\\b{ws}{{start}}a", " a"),
        (pick(["{2}", "a{2}{3}", "a{,2}b", "a{,}", "x{ 2}", "a{2", "a{1,2,3}", "a+{2}"]),
         pick(["{2}", "aa{3}", "b", "aab", "x{ 2}", "a{2", "a{1,2,3}", "aa{2}"])),
        (f"(?({cond})" + pick(["b", ""]) + "|c|d)(a)?", pick(["ab", "c", "d", "a"])),
        ("(?<" + pick(["=", "!"]) + behind + ")b", pick(["aab", "bcb", "b", "aaaab"])),
        (f"(?i)[^{a}]", b), (f"(?i)[{a}-{a}]", b), (f"(?i)\\p{{{prop}}}", b), (f"(?i)[[:{posix}:]]", b),
        (f"(?i)[a-z--{a}]", b), (f"(?i){a}", b), (f"[\\u{{{ord(a):x}}}-\\x{{{ord(b):x}}}]", pick([a, b])),
        ("(?x)( ?i)a", "A"), ("(?x)( ?<n>a)\\k<n>", "aa"),
        (f"[{lo}-{hi}]", pick(["A", "M", "\n", "\x0b", "-", "a", "."])),
        (pick(["(?i)\u00df", "(?i)ss", "(?i)\u1e9e", "(?i)\ufb00", "(?i)\u0130", "(?i)i"]),
         pick(["ss", "SS", "\u00df", "\u1e9e", "ff", "i", "\u0131", "\u0130"])),
        (pick(["[", "(?:", "(", "(?=", "(?>"]) * depth + "a" + pick(["]", ")"]) * depth, "a"),
        (pick(["a{4294967296}", "a{18446744073709551616}", "a{0,4294967295}", "a{1000000}", "(?:a{1000}){1000}",
               "x\\b{20000000}", "\\<{1,20000000}x", "^{0,4294967296}x", "$*x", "\\b{0}x", "x\\B{3}"]),
         pick(["a", "a{4294967296}", "a{18446744073709551616}", "x", " x"])),
        (pick(["(?>a+?)b", "(?>a*?)b", "(?>a??)ab", "(?>a{1,3}?)b", "(?>a|ab)c", "(?>a+)b", "a+?+b", "(?>(a+?))\\1b"]),
         pick(["aab", "ab", "b", "aaab", "abc", "aaaab"])),
        (pick(["(a|\\1?)b", "(a|b\\1)+", "(a\\1?)+b", "\\1?(a)", "(a)|\\1?b", "(?<n>a|\\k<n>?)b"]),
         pick(["b", "aab", "aba", "ab", "a"])),
        (pick(["a||b", "|", "(|)", "(?:|a)+", "()*", "(?:)+", "(a|)+$", "\x00", "[\\x00-\\x{10FFFF}]"]),
         pick(["", "b", "a", "\x00"])),
    ]
    return pick(templates)


def make_text(rng: random.Random, sample: str) -> str:
    """A text near `sample`: kept, or edited with fold partners and nearby characters."""
    chars = list(sample)
    if rng.random() < 0.3:
        return sample
    for _ in range(rng.randint(1, 3)):
        op = rng.random()
        pos = rng.randrange(len(chars) + 1)
        if op < 0.35 and chars:  # swap with a case-fold partner
            i = rng.randrange(len(chars))
            partners = FOLD_PARTNERS.get(chars[i])
            chars[i] = rng.choice(partners) if partners else chars[i].swapcase()[:1] or chars[i]
        elif op < 0.55:
            chars.insert(pos, rng.choice(INTERESTING))
        elif op < 0.7 and chars:
            del chars[rng.randrange(len(chars))]
        elif op < 0.8:
            chars.insert(pos, rng.choice("\n\r"))
        elif op < 0.9 and chars:
            chars[rng.randrange(len(chars))] = rng.choice(INTERESTING)
        else:
            chars = list(rng.choice(["", " ", "x", "\n"])) + chars + list(rng.choice(["", "\n", "\n\n", " ", "."]))
    return "".join(chars)


def generate(seed: int, index: int):
    """Pair number `index` of run `seed`: the same whatever else the run holds."""
    rng = random.Random(f"{seed}:{index}")
    if rng.random() < 0.01:
        depth = rng.choice([62, 63, 64, 65])
        return "(" * depth + "a" + ")" * depth, "a"
    if rng.random() < 0.12:
        pattern, sample = quirk(rng)
        return pattern, make_text(rng, sample)
    g = Gen(rng)
    if rng.random() < 0.12:
        g.verbose = True
        prefix = rng.choice(["(?x)", "(?x)", "(?xi)", "(?x-i)"])
    else:
        prefix = ""
    src, sample = g.pattern()
    return prefix + src, make_text(rng, sample)
