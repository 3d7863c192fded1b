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

.PHONY: test demo bench install test-cpp test-py build-cpp gtest clean

test: test-cpp test-py

demo: install
	$(VPY) examples/demo.py

# Times the hot paths against their floors and the pure-Python baseline; the
# figures land in out/bench/results.json.
bench: install
	$(VPY) bench/run.py --out out/bench

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

# --- C++ core and its tests ----------------------------------------------

build-cpp: $(VENV)/.ready gtest
	cmake -S . -B $(BUILD)/cpp -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRAVIR_BUILD_TESTS=ON -DRAVIR_WERROR=ON \
		-DRAVIR_BUILD_MODULE=ON -DPython_EXECUTABLE=$(CURDIR)/$(VPY) -Dpybind11_DIR=$$($(VPY) -m pybind11 --cmakedir) >/dev/null
	cmake --build $(BUILD)/cpp -j $(JOBS)

test-cpp: build-cpp
	ctest --test-dir $(BUILD)/cpp --output-on-failure -j $(JOBS)

# --- Python module and its tests -----------------------------------------

install: $(VENV)/.ready
	$(VPY) -m pip install -q --no-build-isolation --no-deps .

test-py: install
	$(VPY) -m pytest

clean:
	rm -rf $(BUILD) out
