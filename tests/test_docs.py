"""The Python examples in the README and in docs/ run and print what the text
says they print (each file's ```python blocks form one doctest session)."""

import doctest
import re
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[1]
PAGES = [p for p in [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))] if p.exists()]
BLOCK = re.compile(r"^( *)```python\n(.*?)^\1```", re.S | re.M)


@pytest.mark.parametrize("page", PAGES, ids=lambda p: p.name)
def test_python_examples(page):
    blocks = BLOCK.findall(page.read_text(encoding="utf-8"))
    parser = doctest.DocTestParser()
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    session: dict[str, object] = {}
    for number, (indent, body) in enumerate(blocks):
        text = "\n".join(line[len(indent):] for line in body.splitlines())
        test = parser.get_doctest(text, session, f"{page.name}[{number}]", str(page), 0)
        runner.run(test, clear_globs=False)
        session = test.globs  # the next block goes on from here
    result = runner.summarize(verbose=False)
    if not any(">>>" in body for _, body in blocks):
        pytest.skip(f"{page.name} has no examples")
    assert result.failed == 0, f"{result.failed} of {result.attempted} examples in {page.name} failed"
