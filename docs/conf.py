# The documentation site of jdpricer: MyST-markdown pages and the API from
# the installed modules' docstrings (autodoc, numpydoc). Build it with the
# module installed into the running interpreter:
#   python -m sphinx -W -b html docs build/docs/html
#   python -m sphinx -W -b doctest docs build/docs/doctest
import importlib.metadata

project = "jdpricer"
author = "the jdpricer developers"
copyright = "jdpricer developers"
release = importlib.metadata.version("jdpricer")
version = release

extensions = [
    "myst_parser",
    "numpydoc",
    "sphinx.ext.autodoc",
    "sphinx.ext.doctest",
]
source_suffix = {".md": "markdown", ".rst": "restructuredtext"}
root_doc = "index"
exclude_patterns = ["requirements.txt"]

myst_heading_anchors = 3

# `name` in a docstring links to that object where there is one.
default_role = "py:obj"

# jdpricer_batch's docstrings are numpydoc; the class RobustPrices lists its
# fields itself.
numpydoc_show_class_members = False
numpydoc_xref_param_type = False
autodoc_member_order = "bysource"
autodoc_typehints = "signature"

# The docstrings' Examples and the pages' doctest blocks run as written.
doctest_global_setup = "import numpy as np"

html_theme = "furo"
html_title = f"jdpricer {release}"
html_static_path = []
