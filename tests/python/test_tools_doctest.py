"""The docstring examples of the installed orbelix_tools package run and
give the output they show."""

import doctest
import importlib
import pkgutil

import pytest

import orbelix_tools

MODULES = sorted(m.name for m in pkgutil.iter_modules(orbelix_tools.__path__, "orbelix_tools."))


@pytest.mark.parametrize("name", MODULES)
def test_docstring_examples(name):
    module = importlib.import_module(name)
    result = doctest.testmod(module, optionflags=doctest.NORMALIZE_WHITESPACE, report=True)
    assert result.failed == 0


@pytest.mark.parametrize("name", orbelix_tools.__all__)
def test_every_public_function_shows_examples(name):
    tests = doctest.DocTestFinder().find(getattr(orbelix_tools, name), name)
    assert sum(len(t.examples) for t in tests) >= 3
