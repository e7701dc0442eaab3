# make demo: install what is missing, build the extension, run the quickstart.
# make test: install what is missing, build, run every C++ and Python test.
# make sanitize: the same tests built with AddressSanitizer and UBSan.
# make tsan: the core's concurrency tests built with ThreadSanitizer.
# make fuzz: each fuzz target for FUZZ_SECONDS (see fuzz/README.md).
# make bench: every benchmark (see bench/README.md); make bench-polars [BEFORE=PYTHONPATH]:
# the two everyday searches against polars, which only .venv-bench holds.
#
# Each target installs only what it needs: the Debian package sets of
# scripts/install-deps.sh and the pip package sets of scripts/venv.sh named
# below. Python packages go only into the project's virtual environments:
# .venv from python3, and .venv-extra from the newest other CPython when there
# is one; each imports vellix from its build.
SHELL := /bin/bash
# Expanded when used, so that a python3 the first step installs counts.
EXTRA_BASE_PYTHON = $(shell scripts/newest-python.sh)
VENV := .venv
EXTRA_VENV := .venv-extra
BENCH_VENV := .venv-bench
PYTHON := $(CURDIR)/$(VENV)/bin/python
EXTRA_PYTHON := $(CURDIR)/$(EXTRA_VENV)/bin/python
BUILD := build
EXTRA_BUILD := build-extra
SANITIZE_BUILD := build-sanitize
TSAN_BUILD := build-tsan
FUZZ_BUILD := build-fuzz
FUZZ_SECONDS := 60
# WERROR=ON (as CI sets it, in the environment) makes every compiler warning an error.
WERROR ?= OFF
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLIX_WERROR=$(WERROR)
# gcc's runtimes go first into the interpreter, which is not built with them:
# the sanitizer's, and the C++ one so that it can catch exceptions thrown.
SANITIZE_ENV = LD_PRELOAD="$$(g++ -print-file-name=libasan.so) $$(g++ -print-file-name=libstdc++.so)" \
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1

# The package sets each target needs: Debian's, then pip's (into the venvs).
DEMO_DEBS := build
DEMO_PIPS :=
TEST_DEBS := build test
TEST_PIPS := test
TSAN_DEBS := build test tsan
FUZZ_DEBS := build fuzz
BENCH_DEBS := build bench
BENCH_PIPS :=
COMPARE_PIPS := compare

# $(call debs,SETS,PYTHON...): installs the Debian packages of SETS, with the
# headers and venv module of each of the PYTHONs that is Debian's.
debs = bash scripts/install-deps.sh $(addprefix --python ,$(2)) $(1)
# $(call venv,BASE_PYTHON,VENV,BUILD,SETS): makes VENV with the pip SETS,
# importing vellix from BUILD.
venv = bash scripts/venv.sh $(1) $(2) $(3)/python $(4)
# $(call configure,BUILD,TESTS,BENCH,PYTHON): the build in BUILD for PYTHON,
# with the C++ tests and benchmarks ON or OFF.
configure = cmake -S . -B $(1) $(CMAKE_FLAGS) -DVELLIX_TESTS=$(2) -DVELLIX_BENCH=$(3) -DPython_EXECUTABLE=$(4) > /dev/null
# $(call pytest,PYTHON,VENV,BUILD,ARGS,ENV): the Python tests on PYTHON, under
# a line that names it.
pytest = echo "== pytest on Python $$($(1) -c 'import platform; print(platform.python_version())') ($(2))" && \
  $(5) PYTHONPATH=$(3)/python $(1) -m pytest -q $(4)

.PHONY: demo test deps-test build-extra sanitize tsan fuzz bench build-bench bench-polars clean

demo:
	@$(call debs,$(DEMO_DEBS),python3)
	@$(call venv,python3,$(VENV),$(BUILD),$(DEMO_PIPS))
	@$(call configure,$(BUILD),OFF,OFF,$(PYTHON))
	@cmake --build $(BUILD)
	@$(PYTHON) examples/quickstart.py

# A target of its own, so that the newest other CPython is looked for after
# python3 may have been installed.
deps-test:
	@$(call debs,$(TEST_DEBS),python3 $(EXTRA_BASE_PYTHON))
	@$(call venv,python3,$(VENV),$(BUILD),$(TEST_PIPS))

# The extension again for the newest other CPython on the machine.
build-extra: deps-test
	@extra="$(EXTRA_BASE_PYTHON)"; if [ -n "$$extra" ]; then \
	  $(call venv,"$$extra",$(EXTRA_VENV),$(EXTRA_BUILD),$(TEST_PIPS)) && \
	  $(call configure,$(EXTRA_BUILD),OFF,OFF,$(EXTRA_PYTHON)) && cmake --build $(EXTRA_BUILD); fi

test: deps-test build-extra
	@$(call configure,$(BUILD),ON,OFF,$(PYTHON))
	@cmake --build $(BUILD)
	@ctest --test-dir $(BUILD) --output-on-failure -j $$(nproc)
	@$(call pytest,$(PYTHON),$(VENV),$(BUILD),tests/python tests/scripts)
	@if [ -n "$(EXTRA_BASE_PYTHON)" ]; then $(call pytest,$(EXTRA_PYTHON),$(EXTRA_VENV),$(EXTRA_BUILD),tests/python); fi

# pytest captures only Python's streams here, so that a sanitizer report,
# which ends the process, still reaches the terminal.
sanitize:
	@$(call debs,$(TEST_DEBS),python3)
	@$(call venv,python3,$(VENV),$(BUILD),$(TEST_PIPS))
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ \
	  -DVELLIX_SANITIZE=ON -DVELLIX_BENCH=OFF -DVELLIX_WERROR=$(WERROR) -DPython_EXECUTABLE=$(PYTHON) > /dev/null
	@cmake --build $(SANITIZE_BUILD)
	@ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $$(nproc)
	@$(call pytest,$(PYTHON),$(VENV),$(SANITIZE_BUILD),--capture=sys tests/python,$(SANITIZE_ENV))

# The suites of what the core synchronises itself: the lock, the kept sorted
# list, the block pool, sheet copies. oneTBB is not instrumented, so the
# worker pool runs at one thread; these tests drive their own std::threads.
TSAN_TESTS := RwLock.*:SortedCells.*:BlockPool.*:CopySheet.*
tsan:
	@$(call debs,$(TSAN_DEBS))
	@cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=g++ \
	  -DVELLIX_TSAN=ON -DVELLIX_BENCH=OFF -DVELLIX_EXTENSION=OFF -DVELLIX_WERROR=$(WERROR) > /dev/null
	@cmake --build $(TSAN_BUILD) --target core_tests
	@RAYON_NUM_THREADS=1 TSAN_OPTIONS=halt_on_error=1 $(TSAN_BUILD)/core_tests --gtest_filter='$(TSAN_TESTS)'

fuzz:
	@$(call debs,$(FUZZ_DEBS))
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DVELLIX_FUZZ=ON -DVELLIX_WERROR=$(WERROR) -DVELLIX_TESTS=OFF -DVELLIX_BENCH=OFF -DVELLIX_EXTENSION=OFF > /dev/null
	@cmake --build $(FUZZ_BUILD)
	@bash scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The benchmarks built, not run (CI builds them so).
build-bench:
	@$(call debs,$(BENCH_DEBS),python3)
	@$(call venv,python3,$(VENV),$(BUILD),$(BENCH_PIPS))
	@$(call configure,$(BUILD),OFF,ON,$(PYTHON))
	@cmake --build $(BUILD)

bench: build-bench
	@PATH=$(CURDIR)/$(VENV)/bin:$$PATH bash bench/run.sh  # its python3 is the venv's

# polars goes only into the benchmarks' own venv, never into .venv.
bench-polars: build-bench
	@$(call venv,python3,$(BENCH_VENV),$(BUILD),$(COMPARE_PIPS))
	@$(BENCH_VENV)/bin/python bench/polars_bench.py $(BEFORE)

clean:
	rm -rf $(BUILD) $(EXTRA_BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
