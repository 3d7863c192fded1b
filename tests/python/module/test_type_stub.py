import re
import subprocess
import sys
from pathlib import Path

import pytest

ALLOWLIST = Path(__file__).with_name("stubtest_allowlist.txt")
README = Path(__file__).resolve().parents[3] / "README.md"


# The ravir module's stub package, and the stub that the tool's native helper ships beside it.
STUBBED_MODULES = ["ravir", "ravir_tools._native"]


def allowlist_of(module, folder):
    """The allowlist's entries for `module`, in a file of their own: stubtest fails on an
    entry that it does not use, and each run checks one module."""
    entries = [line for line in ALLOWLIST.read_text().splitlines() if line and not line.startswith("#")]
    strays = [line for line in entries if not any(line.startswith(re.escape(m) + r"\.") for m in STUBBED_MODULES)]
    assert not strays, f"allowlist entries for no stubbed module: {strays}"
    path = folder / "allowlist.txt"
    path.write_text("".join(line + "\n" for line in entries if line.startswith(re.escape(module) + r"\.")))
    return path


@pytest.mark.parametrize("module", STUBBED_MODULES)
def test_installed_stub_matches_the_module(module, tmp_path):
    allowlist = allowlist_of(module, tmp_path)
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", module, "--allowlist", str(allowlist)],
                            capture_output=True, text=True, check=False)
    assert result.returncode == 0, result.stdout + result.stderr


def test_the_readme_example_type_checks_strictly(tmp_path):
    example = re.search(r"```python\n(.*?)```", README.read_text(), re.S).group(1)
    (tmp_path / "example.py").write_text(example)
    result = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", "example.py"],
                            cwd=tmp_path, capture_output=True, text=True, check=False)
    assert result.returncode == 0, result.stdout + result.stderr
