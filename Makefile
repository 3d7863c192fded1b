# Every target sets up what it needs: a fresh clone needs only `make demo` or `make test`.

SHELL := /bin/bash
VENV  := .venv
VPY   := $(VENV)/bin/python
BUILD := build
JOBS  ?= $(shell nproc)

# The module targets CPython 3.12: take python3.12 from PATH when it runs,
# otherwise pyenv's 3.12 installation.
PYTHON312 ?= $(shell for p in python3.12 $$(pyenv root 2>/dev/null)/versions/3.12*/bin/python3.12; do \
	"$$p" -c 'import sys; assert sys.version_info[:2] == (3, 12)' >/dev/null 2>&1 && { echo "$$p"; break; }; done)

SUDO := $(if $(filter 0,$(shell id -u)),,sudo)
export PATH := $(CURDIR)/$(VENV)/bin:$(PATH)

.PHONY: test demo bench install test-cpp test-py build-cpp gtest chromium editors screenshots diff-picture clean check \
	clang fuzz

test: test-cpp test-py

demo: install
	$(VPY) examples/demo.py
	$(VENV)/bin/ravir gallery examples/sample -o out/gallery

# The README's pictures of the gallery, taken from the demo's.
SHOT := chromium --headless --no-sandbox --hide-scrollbars --virtual-time-budget=2000
screenshots: demo chromium
	$(SHOT) --window-size=900,420 --screenshot=$(CURDIR)/docs/gallery-index.png file://$(CURDIR)/out/gallery/index.html
	$(SHOT) --window-size=1200,860 --screenshot=$(CURDIR)/docs/gallery-page.png \
		file://$(CURDIR)/out/gallery/pages/sample/anim/orb.html

# The README's picture of `ravir diff`: the sample against a copy with one pixel
# painted, made as the README's example makes it (diff exits 1: they differ).
diff-picture: install
	mkdir -p out/edited && cp -r examples/sample/. out/edited/
	ravir render out/edited/anim/orb.orv -o out/work --indexed -q
	$(VPY) -c "from PIL import Image; i = Image.open('out/work/orb_003.png'); \
		i.putpixel((9, 12), 255); i.save(i.filename)"
	ravir pack out/work/orb.json -o out/edited/anim/orb.orv -q
	ravir diff examples/sample/anim/orb.orv out/edited/anim/orb.orv -o docs; test $$? = 1

# Times the hot paths against their floors and the pure-Python baseline; the
# figures land in out/bench/results.json.
bench: install
	$(VPY) bench/run.py --out out/bench
	$(VPY) bench/end_to_end.py --out out/bench

# --- environment ---------------------------------------------------------

$(VENV)/.ready: pyproject.toml
	@test -n "$(PYTHON312)" || { echo "error: CPython 3.12 not found: put python3.12 on PATH or install it with pyenv" >&2; exit 1; }
	$(PYTHON312) -m venv $(VENV)
	$(VPY) -m pip install -q --upgrade "pip>=25.1"
	$(VPY) -m pip install -q --group build --group test
	touch $@

gtest:
	@test -f /usr/include/gtest/gtest.h || { \
		echo "GoogleTest is missing: installing libgtest-dev with apt-get"; \
		$(SUDO) apt-get update -qq && $(SUDO) apt-get install -y -qq libgtest-dev; }

# The gallery's browser tests drive Debian's Chromium through its driver. Where they
# cannot be installed, those tests skip and say why; the rest still run.
chromium:
	@command -v chromium >/dev/null && command -v chromedriver >/dev/null || { \
		echo "Chromium is missing: installing chromium and chromium-driver with apt-get"; \
		$(SUDO) apt-get update -qq && $(SUDO) apt-get install -y -qq chromium chromium-driver \
		|| echo "Chromium could not be installed: the browser tests will be skipped"; }

# The round trips through image editors drive Debian's GIMP and ImageMagick (`convert`
# answers `-version` with "Version: ImageMagick" only when it is the real one). Where they cannot
# be installed, those tests skip and say why; the rest still run.
editors:
	@command -v gimp-console >/dev/null && convert -version 2>/dev/null | grep -q '^Version: ImageMagick' || { \
		echo "GIMP or ImageMagick is missing: installing gimp and imagemagick with apt-get"; \
		$(SUDO) apt-get update -qq && $(SUDO) apt-get install -y -qq gimp imagemagick \
		|| echo "GIMP and ImageMagick could not be installed: the editor tests will be skipped"; }

# --- C++ core and its tests ----------------------------------------------

build-cpp: $(VENV)/.ready gtest
	cmake -S . -B $(BUILD)/cpp -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVIR_BUILD_TESTS=ON -DRAVIR_WERROR=ON \
		-DRAVIR_BUILD_MODULE=ON -DPython_EXECUTABLE=$(CURDIR)/$(VPY) -Dpybind11_DIR=$$($(VPY) -m pybind11 --cmakedir) >/dev/null
	cmake --build $(BUILD)/cpp -j $(JOBS)

test-cpp: build-cpp
	ctest --test-dir $(BUILD)/cpp --output-on-failure -j $(JOBS)

# --- Python module and its tests -----------------------------------------

install: $(VENV)/.ready
	$(VPY) -m pip install -q --no-build-isolation .

test-py: install chromium editors
	$(VPY) -m pytest

# --- sanitizer suite and fuzzing -----------------------------------------

SAN_BUILD    := $(BUILD)/sanitize
FUZZ_BUILD   := $(BUILD)/fuzz
FUZZ_SECONDS ?= 180
FUZZ_TARGETS := palette_load animation_load animation_roundtrip \
	tools_manifest tools_png tools_aseprite tools_palette tools_pillow
PY_CMAKE     = -DPython_EXECUTABLE=$(CURDIR)/$(VPY) -Dpybind11_DIR="$$($(VPY) -m pybind11 --cmakedir)"
SAN_REPORTS  := $(CURDIR)/$(SAN_BUILD)/reports
# The interpreter is not instrumented, so gcc's runtimes are loaded before it; the
# memory CPython keeps until exit is no leak of ours, so leak detection is off there
# (the C++ tests run with it on). Reports go to files, since pytest's capture of
# standard error would swallow the report of a process that the sanitizer ends.
SAN_PYTHON   = ASAN_OPTIONS=detect_leaks=0:log_path=$(SAN_REPORTS)/asan \
	UBSAN_OPTIONS=print_stacktrace=1:log_path=$(SAN_REPORTS)/ubsan \
	LD_PRELOAD="$$(gcc -print-file-name=libasan.so) $$(gcc -print-file-name=libubsan.so)"

# Both test suites again, with the core, the C++ tests and the module built with
# AddressSanitizer and UndefinedBehaviorSanitizer: any report fails the run.
check: $(VENV)/.ready gtest
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ \
		-DRAVIR_SANITIZE=ON -DRAVIR_WERROR=ON -DRAVIR_BUILD_TESTS=ON -DRAVIR_BUILD_MODULE=ON $(PY_CMAKE) >/dev/null
	cmake --build $(SAN_BUILD) -j $(JOBS)
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)
	rm -rf $(SAN_REPORTS) && mkdir -p $(SAN_REPORTS)
	$(SAN_PYTHON) PYTHONPATH=$(CURDIR)/$(SAN_BUILD) $(VPY) -m pytest -p no:cacheprovider; status=$$?; \
		if ls $(SAN_REPORTS)/* >/dev/null 2>&1; then cat $(SAN_REPORTS)/*; exit 1; fi; exit $$status

clang:
	@echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' \
		| clang++ -fsanitize=fuzzer -x c++ - -o /dev/null 2>/dev/null || { \
		echo "clang with libFuzzer is missing: installing clang and libclang-rt-dev with apt-get"; \
		$(SUDO) apt-get update -qq && $(SUDO) apt-get install -y -qq clang libclang-rt-dev; }

# Each fuzz target for FUZZ_SECONDS seconds: make fuzz FUZZ_SECONDS=300. The core's are
# libFuzzer's; the tools' (tools_*) run the installed package under atheris.
fuzz: install clang
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DRAVIR_BUILD_FUZZERS=ON -DRAVIR_WERROR=ON -DPython_EXECUTABLE=$(CURDIR)/$(VPY) >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	$(VPY) -m pip install -q --group fuzz
	$(VPY) fuzz/tools/run.py --seeds $(FUZZ_BUILD)/fuzz/seeds
	PYTHON=$(CURDIR)/$(VPY) fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD) out
