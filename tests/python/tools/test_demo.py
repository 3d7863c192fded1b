import subprocess
import sys
from pathlib import Path

EXAMPLES = Path(__file__).resolve().parents[3] / "examples"


def run(*args):
    return subprocess.run([sys.executable, *map(str, args)], capture_output=True, text=True, check=False)


def test_committed_sample_is_what_its_script_builds(tmp_path):
    assert run(EXAMPLES / "make_sample.py", tmp_path).returncode == 0
    for part in ("anim/orb.orv", "pal/orb.pal"):
        assert (tmp_path / part).read_bytes() == (EXAMPLES / "sample" / part).read_bytes(), part


def test_demo_renders_saves_and_reads_back(tmp_path):
    result = run(EXAMPLES / "demo.py", tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
    assert "renders the same" in result.stdout
    assert result.stderr == ""
    assert len(list((tmp_path / "frames").glob("frame_*.png"))) == 10
    for name in ("contact_sheet.png", "contact_sheet_recolored.png", "saved/anim/orb.orv", "saved/pal/green.pal"):
        assert (tmp_path / name).stat().st_size > 0, name
