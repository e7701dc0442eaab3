# make demo: install what is missing, build, run the quickstart.
# make test: install what is missing, build, run every C++ and Python test.
SHELL := /bin/bash
PYTHON := $(shell python3 -c 'import sys; print(sys.executable)')
EXTRA_PYTHON := $(shell scripts/newest-python.sh)
BUILD := build
EXTRA_BUILD := build-extra
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release

.PHONY: deps build build-extra demo test test-cpp test-python bench clean

deps:
	@bash scripts/install-deps.sh
	@if [ -n "$(EXTRA_PYTHON)" ]; then PYTHON=$(EXTRA_PYTHON) bash scripts/install-deps.sh; fi

build: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DPython_EXECUTABLE=$(PYTHON) > /dev/null
	@cmake --build $(BUILD)

# The extension again for the newest CPython on the machine.
build-extra: deps
	@if [ -n "$(EXTRA_PYTHON)" ]; then \
	  cmake -S . -B $(EXTRA_BUILD) $(CMAKE_FLAGS) -DVELLIX_TESTS=OFF -DVELLIX_BENCH=OFF \
	    -DPython_EXECUTABLE=$(EXTRA_PYTHON) > /dev/null && cmake --build $(EXTRA_BUILD) --target _vellix; fi

demo: build
	@PYTHONPATH=$(BUILD)/python $(PYTHON) examples/quickstart.py

test: build build-extra
	@ctest --test-dir $(BUILD) --output-on-failure -j $$(nproc)
	@PYTHONPATH=$(BUILD)/python $(PYTHON) -m pytest -q tests/python
	@if [ -n "$(EXTRA_PYTHON)" ]; then PYTHONPATH=$(EXTRA_BUILD)/python $(EXTRA_PYTHON) -m pytest -q tests/python; fi

bench: build
	@bash bench/run.sh

clean:
	rm -rf $(BUILD) $(EXTRA_BUILD)
