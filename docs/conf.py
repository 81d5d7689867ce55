"""Sphinx configuration of the orbelix documentation.

Build with ``python -m sphinx -W -b html docs docs/_build/html`` after
installing the package with its ``docs`` extra (``pip install ".[docs]"``):
the API pages and the gallery import the installed modules.
"""

from __future__ import annotations

import filecmp
import importlib.metadata
import os
import sys
from pathlib import Path

import orbelix
import orbelix_tools

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(HERE / "_ext"))


def _refuse_stale_install() -> None:
    """The pages document the installed package: it must be this tree's."""
    installed = Path(orbelix_tools.__file__).resolve().parent
    source = ROOT / "python" / "orbelix_tools"
    if not source.is_dir() or installed == source:
        return
    stale = sorted(p.name for p in source.glob("*.py")
                   if not (installed / p.name).exists()
                   or not filecmp.cmp(p, installed / p.name, shallow=False))
    if stale:
        raise RuntimeError(
            f"the installed orbelix_tools ({installed}) differs from {source} in "
            f"{', '.join(stale)}: install this tree first (pip install \".[docs]\")")


_refuse_stale_install()

project = "orbelix"
author = "the orbelix developers"
copyright = "the orbelix developers"
release = importlib.metadata.version("orbelix")

extensions = [
    "sphinx.ext.autodoc",
    "sphinx.ext.autosummary",
    "sphinx.ext.mathjax",
    "numpydoc",
    "myst_parser",
    "sphinx_gallery.gen_gallery",
    "literal_docstrings",
]

source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
root_doc = "index"
exclude_patterns = ["_build", "**.ipynb_checkpoints", "auto_examples/*.ipynb",
                    "auto_examples/**/*.py", "auto_examples/**/*.ipynb", "sg_execution_times.rst"]
templates_path: list[str] = []

html_theme = "alabaster"
html_title = "orbelix"
html_theme_options = {"description": "Fast single-precision S-transforms for NumPy",
                      "fixed_sidebar": True, "page_width": "1100px"}

# API reference: one page per function from the autosummary lists.
autosummary_generate = True
autosummary_imported_members = True
autodoc_default_options = {"members": False}
# The numpydoc sections give the types; signatures show names and defaults.
autodoc_typehints = "none"
numpydoc_show_class_members = False
numpydoc_class_members_toctree = False
numpydoc_xref_param_type = False
# Cross-references to other projects (MNE, xarray, NumPy) stay plain text:
# the build runs without network access, so there is no inventory to link to.

myst_heading_anchors = 3

sphinx_gallery_conf = {
    "examples_dirs": [str(ROOT / "examples" / "gallery")],
    "gallery_dirs": ["auto_examples"],
    "filename_pattern": r"/plot_",
    "within_subsection_order": "FileNameSortKey",
    "abort_on_example_error": True,
    "only_warn_on_example_error": False,
    "download_all_examples": False,
    "remove_config_comments": True,
    "reset_modules": ("matplotlib",),
    "show_memory": False,
    "plot_gallery": "True",
    "write_computation_times": True,
    "matplotlib_animations": False,
}

os.environ.setdefault("MPLBACKEND", "Agg")

