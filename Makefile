# The README's commands. Everything goes through scripts/setup, which installs
# what is missing; the C++ code is compiled once, in build/cmake, and serves
# both the Python module and the C++ tests.

VENV   := .venv
PYTHON := $(VENV)/bin/python
BUILD  := build/cmake

.PHONY: setup build demo test test-cpp test-python clean

setup:
	@scripts/setup

build: setup
	@$(PYTHON) -m pip install --no-build-isolation -qq --no-deps \
		-Cbuild-dir=$(BUILD) -Ccmake.define.OXA_BUILD_TESTS=ON .

demo: build
	@$(PYTHON) -P -m oxa demo

test: build
	@$(MAKE) --no-print-directory test-cpp test-python

test-cpp:
	@$(VENV)/bin/ctest --test-dir $(BUILD) --output-on-failure -j 2

test-python:
	@$(PYTHON) -P -m pytest -q tests/python

clean:
	rm -rf build
