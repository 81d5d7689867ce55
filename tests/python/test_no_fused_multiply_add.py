"""The installed modules contain no fused multiply-add instructions.

Every SIMD path must round like the portable one, product then sum; a
compiler that contracts a product into an FMA (the auto-vectoriser can, even
with contraction off) changes the last bit on the wide paths only.
"""
import re
import shutil
import subprocess
from pathlib import Path

import pytest

import orbelix
import orbelix_tools._core as tools_core

FMA = re.compile(r"\bv?f(n?)m(add|sub|addsub|subadd)\d+[ps][sd]\b")


@pytest.mark.slow
@pytest.mark.skipif(shutil.which("objdump") is None, reason="needs binutils' objdump")
@pytest.mark.parametrize("module", [orbelix, tools_core], ids=["orbelix", "orbelix_tools"])
def test_module_has_no_fused_multiply_add(module):
    listing = subprocess.run(["objdump", "-d", "--no-show-raw-insn", str(Path(module.__file__))],
                             capture_output=True, text=True, check=True).stdout
    assert "vmulps" in listing or "mulps" in listing  # the disassembly is really there
    found = sorted({m.group(0) for m in FMA.finditer(listing)})
    assert not found, f"fused multiply-adds in {module.__name__}: {found}"
