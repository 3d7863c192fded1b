"""Debian's GIMP and ImageMagick, run on a file as a modder would edit it. A test that
needs one is skipped, with the reason, where it is not installed (`make test`
installs both)."""

import shutil
import subprocess
from pathlib import Path

import pytest

from tests.support.process_memory import outside_sanitizer


def imagemagick(*args) -> None:
    """ImageMagick's `convert` with `args`, which name the file to read and the one to write."""
    convert = shutil.which("convert")
    version = subprocess.run([convert, "-version"], capture_output=True, text=True) if convert else None
    if version is None or not version.stdout.startswith("Version: ImageMagick"):
        pytest.skip("ImageMagick's convert is not installed (make test installs Debian's imagemagick)")
    subprocess.run([convert, *map(str, args)], check=True, capture_output=True, timeout=300, env=outside_sanitizer())


def gimp_set_index(path: Path, x: int, y: int, index: int, home: Path) -> None:
    """Opens the indexed PNG at `path` in GIMP, sets pixel (x, y) to palette index
    `index`, opaque, and exports it over itself with GIMP's default PNG options."""
    gimp = shutil.which("gimp-console") or shutil.which("gimp")
    if gimp is None:
        pytest.skip("GIMP is not installed (make test installs Debian's gimp)")
    script = f"""
        (let* ((image (car (gimp-file-load RUN-NONINTERACTIVE "{path}" "{path}")))
               (drawable (car (gimp-image-get-active-drawable image))))
          (gimp-drawable-set-pixel drawable {x} {y} 2 #({index} 255))
          (file-png-save-defaults RUN-NONINTERACTIVE image drawable "{path}" "{path}")
          (gimp-image-delete image))"""
    # A settings folder of its own for each run: runs share nothing.
    environment = {**outside_sanitizer(), "HOME": str(home), "GIMP2_DIRECTORY": str(home / "gimp")}
    result = subprocess.run([gimp, "-i", "-n", "-d", "-f", "-b", script, "-b", "(gimp-quit 0)"], env=environment,
                            capture_output=True, text=True, timeout=300)
    assert result.returncode == 0 and "execution error" not in result.stderr, result.stderr
