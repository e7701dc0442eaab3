"""The reference under docs/ names every public name of both modules, and its examples run as written."""

import doctest
import re
from pathlib import Path

import pytest

import vellix
from vellix import readable

DOCS = Path(__file__).resolve().parents[2] / "docs"
PAGES = sorted(DOCS.glob("*.md"))
FENCE = re.compile(r"^\s*```")


def public_names():
    """The dotted name of everything a user can reach: module members (`__version__` is in `__all__`), and each
    class's members. Service's single-underscore members are its documented interface for subclasses, so they count too.
    """
    names = set()
    for prefix, module in (("vellix", vellix), ("readable", readable)):
        for name in set(dir(module)) | set(module.__all__):
            if name.startswith("_") and name not in module.__all__:
                continue
            names.add(f"{prefix}.{name}")
            cls = getattr(module, name)
            if isinstance(cls, type):
                names.update(f"{name}.{member}" for member in vars(cls) if not member.startswith("__"))
    return names


def entries():
    """The code spans that open a heading or a table row: where the reference documents a name."""
    found = set()
    for page in PAGES:
        for line in page.read_text(encoding="utf-8").splitlines():
            if line.startswith(("#", "|")):
                first = line.split("|")[1] if line.startswith("|") else line
                found.update(re.findall(r"`([^`]+)`", first))
    return found


def documented(name, spans):
    return any(span == name or span.startswith((name + "(", name + " ")) for span in spans)


def test_the_reference_has_pages():
    assert DOCS / "reference.md" in PAGES


def test_every_public_name_has_an_entry():
    spans = entries()
    assert sorted(name for name in public_names() if not documented(name, spans)) == []


def test_every_entry_names_something_that_exists():
    names = public_names()
    dotted = {re.match(r"[\w.]+", span).group(0) for span in entries() if re.match(r"(vellix|readable|[A-Z]\w*)\.\w", span)}
    assert sorted(name for name in dotted if name not in names) == []


def doctest_text(page):
    """The page with everything outside its ```pycon blocks blanked, so line numbers stay the page's own."""
    lines, inside = [], False
    for line in page.read_text(encoding="utf-8").splitlines():
        if FENCE.match(line):
            inside = not inside and line.strip() == "```pycon"
            lines.append("")
        else:
            lines.append(line if inside else "")
    return "\n".join(lines) + "\n"


@pytest.mark.parametrize("page", PAGES, ids=[p.name for p in PAGES])
def test_examples_run_as_written(page):
    test = doctest.DocTestParser().get_doctest(doctest_text(page), {}, page.name, str(page), 0)
    report = []
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test, out=report.append)
    assert runner.failures == 0, "".join(report)
