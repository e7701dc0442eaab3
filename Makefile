# make demo: install what is missing, build, run the quickstart.
# make test: install what is missing, build, run every C++ and Python test.
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
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release

.PHONY: deps build build-extra demo test bench clean

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

bench: build
	@PATH=$(CURDIR)/$(VENV)/bin:$$PATH bash bench/run.sh  # its python3 is the venv's

clean:
	rm -rf $(BUILD) $(EXTRA_BUILD)
