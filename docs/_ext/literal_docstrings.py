"""Sphinx directive for the exact module's routines, whose docstrings are
plain text in the style of generated wrappers rather than reStructuredText:
each is shown verbatim under a ``py:function`` entry, so that it can be
cross-referenced without being parsed (and without the warnings parsing it
would give).

    .. literal-routine:: orbelix.fst
"""

from __future__ import annotations

import importlib
import re

from docutils import nodes
from docutils.statemachine import StringList
from sphinx.util.docutils import SphinxDirective


def _signature(name: str, doc: str) -> str:
    """The call line that opens the docstring, "h = ifst(s,[n])", as a
    signature with its optional arguments in brackets and its result."""
    m = re.match(r"\s*(.+?)\s*=\s*(\w+)\((.*)\)\s*$", doc.splitlines()[0] if doc else "")
    if not m or m.group(2) != name:
        return f"{name}(...)"
    return f"{name}({m.group(3)}) -> {m.group(1)}"


class LiteralRoutine(SphinxDirective):
    required_arguments = 1
    has_content = False

    def run(self) -> list[nodes.Node]:
        modname, _, name = self.arguments[0].rpartition(".")
        module = importlib.import_module(modname)
        routine = getattr(module, name)
        signature = _signature(name, routine.__doc__ or "")
        lines = [f".. py:function:: {signature}", f"   :module: {modname}", ""]
        body = StringList(lines, source=self.get_source_info()[0])
        container = nodes.container()
        self.state.nested_parse(body, self.content_offset, container)
        # The docstring goes into the entry's content as one literal block.
        text = (routine.__doc__ or "").rstrip("\n")
        block = nodes.literal_block(text, text)
        block["language"] = "text"
        desc = container.children[-1]
        content = next(n for n in desc.findall(nodes.Element)
                       if n.tagname == "desc_content")
        content += block
        return container.children


class LiteralModuleDoc(SphinxDirective):
    """The module docstring itself, verbatim."""
    required_arguments = 1

    def run(self) -> list[nodes.Node]:
        text = (importlib.import_module(self.arguments[0]).__doc__ or "").rstrip("\n")
        block = nodes.literal_block(text, text)
        block["language"] = "text"
        return [block]


def setup(app):
    app.add_directive("literal-routine", LiteralRoutine)
    app.add_directive("literal-module-doc", LiteralModuleDoc)
    return {"parallel_read_safe": True, "parallel_write_safe": True}
