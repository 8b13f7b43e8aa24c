"""The Examples sections of jdpricer_batch's docstrings run as doctests, here
on every interpreter; the module and each public name must have some."""
import doctest

import pytest

import jdpricer_batch

DOCUMENTED = ["jdpricer_batch"] + [f"jdpricer_batch.{name}" for name in dir(jdpricer_batch) if not name.startswith("_")]
FOUND = {test.name: test for test in doctest.DocTestFinder().find(jdpricer_batch) if test.examples}


@pytest.mark.parametrize("name", DOCUMENTED)
def test_docstring_examples_run(name):
    assert name in FOUND, f"{name} has no Examples"
    output = []
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    result = runner.run(FOUND[name], out=output.append, clear_globs=True)
    assert result.failed == 0, "".join(output)
