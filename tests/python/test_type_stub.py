import subprocess
import sys
from pathlib import Path

ALLOWLIST = Path(__file__).with_name("stubtest_allowlist.txt")


def test_installed_stub_matches_the_module():
    result = subprocess.run([sys.executable, "-m", "mypy.stubtest", "ravir", "--allowlist", str(ALLOWLIST)],
                            capture_output=True, text=True, check=False)
    assert result.returncode == 0, result.stdout + result.stderr
