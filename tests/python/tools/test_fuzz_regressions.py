"""The seeds of the tools' fuzz targets and every input they ever failed on
(fuzz/regressions/tools_*), fed to each target once, as the ordinary test run
replays the core's: a target raises on what the tools do not handle."""

from pathlib import Path

import pytest

from fuzz.tools.seeds import SEEDS
from fuzz.tools.targets import TARGETS

REGRESSIONS = Path(__file__).resolve().parents[3] / "fuzz" / "regressions"

INPUTS = [(target, f"seed {name}", data) for target, make in SEEDS.items() for name, data in make().items()]
INPUTS += [(path.parent.name, path.name, path.read_bytes()) for path in sorted(REGRESSIONS.glob("tools_*/*"))]


@pytest.mark.parametrize("target, data", [(target, data) for target, _, data in INPUTS],
                         ids=[f"{target}: {name}" for target, name, _ in INPUTS])
def test_every_kept_input_is_handled(target, data):
    TARGETS[target](data)
