import re
import subprocess
import sys
from pathlib import Path

ALLOWLIST = Path(__file__).with_name("stubtest_allowlist.txt")
README = Path(__file__).resolve().parents[3] / "README.md"


def test_installed_stub_matches_the_module():
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "ravir", "--allowlist", str(ALLOWLIST)],
                            capture_output=True, text=True, check=False)
    assert result.returncode == 0, result.stdout + result.stderr


def test_the_readme_example_type_checks_strictly(tmp_path):
    example = re.search(r"```python\n(.*?)```", README.read_text(), re.S).group(1)
    (tmp_path / "example.py").write_text(example)
    result = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--no-incremental", "example.py"],
                            cwd=tmp_path, capture_output=True, text=True, check=False)
    assert result.returncode == 0, result.stdout + result.stderr
