#!/usr/bin/env python3
"""Runs one of the tools' fuzz targets (fuzz/tools/targets.py) under atheris, with
libFuzzer's arguments after its name; or writes every target's seeds.

    run.py TARGET CORPUS_DIR... [-max_total_time=30 ...]
    run.py --seeds OUT_DIR      # OUT_DIR/TARGET/NAME for each seed
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2]))  # the project: fuzz.tools and tests.support


def write_seeds(out: Path) -> None:
    from fuzz.tools.seeds import SEEDS

    for target, make in SEEDS.items():
        (out / target).mkdir(parents=True, exist_ok=True)
        for name, data in make().items():
            (out / target / name).write_bytes(data)


def fuzz(name: str) -> None:
    import atheris

    # Coverage guides the fuzzer through the tools' code only: the rest is Pillow's and the standard library's.
    with atheris.instrument_imports(include=["ravir_tools"]):
        from fuzz.tools.targets import TARGETS
    atheris.Setup(sys.argv, TARGETS[name])
    atheris.Fuzz()


if __name__ == "__main__":
    if sys.argv[1] == "--seeds":
        write_seeds(Path(sys.argv[2]))
    else:
        fuzz(sys.argv.pop(1))
