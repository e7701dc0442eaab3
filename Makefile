# make demo: install what is missing, build, run the quickstart.
# make test: install what is missing, build, run every C++ and Python test.
# make sanitize: the same tests built with AddressSanitizer and UBSan.
# make fuzz: each fuzz target for FUZZ_SECONDS (see fuzz/README.md).
#
# Python packages go only into the project's virtual environments: .venv from
# python3, and .venv-extra from the newest other CPython when there is one.
SHELL := /bin/bash
# Expanded when used, so that a python3 the first step installs counts.
EXTRA_BASE_PYTHON = $(shell scripts/newest-python.sh)
VENV := .venv
EXTRA_VENV := .venv-extra
PYTHON := $(CURDIR)/$(VENV)/bin/python
EXTRA_PYTHON := $(CURDIR)/$(EXTRA_VENV)/bin/python
BUILD := build
EXTRA_BUILD := build-extra
SANITIZE_BUILD := build-sanitize
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS := 60
# WERROR=ON (as CI sets it, in the environment) makes every compiler warning an error.
WERROR ?= OFF
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLIX_WERROR=$(WERROR)
# gcc's runtimes go first into the interpreter, which is not built with them:
# the sanitizer's, and the C++ one so that it can catch exceptions thrown.
SANITIZE_ENV = LD_PRELOAD="$$(g++ -print-file-name=libasan.so) $$(g++ -print-file-name=libstdc++.so)" \
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1

.PHONY: deps build build-extra demo test sanitize fuzz bench clean

deps:
	@bash scripts/install-deps.sh python3 $(EXTRA_BASE_PYTHON)
	@bash scripts/venv.sh python3 $(VENV)
	@extra="$(EXTRA_BASE_PYTHON)"; if [ -n "$$extra" ]; then bash scripts/venv.sh "$$extra" $(EXTRA_VENV); fi

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DPython_EXECUTABLE=$(PYTHON) > /dev/null
	@cmake --build $(BUILD)

# The extension again for the newest other CPython on the machine.
build-extra: deps
	@if [ -n "$(EXTRA_BASE_PYTHON)" ]; then \
	  cmake -S . -B $(EXTRA_BUILD) $(CMAKE_FLAGS) -DVELLIX_TESTS=OFF -DVELLIX_BENCH=OFF \
	    -DPython_EXECUTABLE=$(EXTRA_PYTHON) > /dev/null && cmake --build $(EXTRA_BUILD) --target _vellix; fi

demo: build
	@PYTHONPATH=$(BUILD)/python $(PYTHON) examples/quickstart.py

test: build build-extra
	@ctest --test-dir $(BUILD) --output-on-failure -j $$(nproc)
	@PYTHONPATH=$(BUILD)/python $(PYTHON) -m pytest -q tests/python
	@if [ -n "$(EXTRA_BASE_PYTHON)" ]; then PYTHONPATH=$(EXTRA_BUILD)/python $(EXTRA_PYTHON) -m pytest -q tests/python; fi

# pytest captures only Python's streams here, so that a sanitizer report,
# which ends the process, still reaches the terminal.
sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ \
	  -DVELLIX_SANITIZE=ON -DVELLIX_BENCH=OFF -DVELLIX_WERROR=$(WERROR) -DPython_EXECUTABLE=$(PYTHON) > /dev/null
	@cmake --build $(SANITIZE_BUILD)
	@ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $$(nproc)
	@$(SANITIZE_ENV) PYTHONPATH=$(SANITIZE_BUILD)/python $(PYTHON) -m pytest -q --capture=sys tests/python

fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DVELLIX_FUZZ=ON -DVELLIX_WERROR=$(WERROR) -DVELLIX_TESTS=OFF -DVELLIX_BENCH=OFF -DVELLIX_EXTENSION=OFF > /dev/null
	@cmake --build $(FUZZ_BUILD)
	@bash scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@PATH=$(CURDIR)/$(VENV)/bin:$$PATH bash bench/run.sh  # its python3 is the venv's

clean:
	rm -rf $(BUILD) $(EXTRA_BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
