# Build, run and test velk_calculations on a Debian 12 machine.
#   make run            install what it needs, build (Release) the modules and velk, run the examples
#   make test           install what the tests need, build everything, then run every test
#   make test-loaded    the Python-level suites again, two copies at once, twice each, with every core busy
#   make test-sanitize  every test again, built with address and UB sanitizers
#   make test-browser   the HTML reports of the examples, a 100-member frame and a 300-member building in
#                       headless Chromium
#   make bench          the Google Benchmark timings
#   make format-check   clang-format over the C++ sources
#   make include-check  no include runs up the layers or round a cycle; tests share code through tests/support
#   make fuzz           the libFuzzer targets, FUZZ_SECONDS (60) each, with address and UB sanitizers
#                       (installs Clang 19, which nothing else needs)
#   make schema         write schema/velk-model.schema.json from the engine's record tables, and the
#                       record tables of docs/model-format.md from the schema
#   make verification   write docs/verification.md from the engine's answers
#   make docs-check     fail when the committed schema or verification.md is not what the engine writes
#   make wheel          dist/velk-<version>-cp311-abi3-manylinux_2_35_x86_64.whl from the build
#   make bench-batch    models per second, serially and on a local Dask cluster
# The modules are built against the stable ABI of CPython 3.11 with the headers
# of PYTHON (3.11 or later) when given, else of Python 3.12 from pyenv, else of
# python3.12 on the PATH. Batch runs use Debian's python3 and its Dask.

SHELL := /bin/bash
.SHELLFLAGS := -euo pipefail -c

BUILD_DIR ?= build
SANITIZE_BUILD_DIR ?= build-asan
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := document_fuzzer analysis_fuzzer envelope_fuzzer frontends_fuzzer buckling_fuzzer \
  modes_fuzzer
# Clang 19: the oldest Debian 12 Clang whose C++23 library support has std::expected.
FUZZ_CXX ?= clang++-19
# What building the modules and velk needs (make run).
RUN_PACKAGES := cmake ninja-build g++ libeigen3-dev rapidjson-dev libfmt-dev libspectra-dev libsuitesparse-dev libopenblas0-pthread
# What the tests add: GoogleTest, Google Benchmark, the formatter, the JSON Schema validator (for
# Debian's /usr/bin/python3) of the schema tests, virtual environments for the wheel, Dask for batches.
TEST_PACKAGES := $(RUN_PACKAGES) patchelf libgtest-dev libbenchmark-dev clang-format python3-jsonschema python3-venv \
  python3-distributed python3-dask
# The fuzz targets' compiler and its libFuzzer and sanitizer runtimes (make fuzz only).
FUZZ_PACKAGES := $(RUN_PACKAGES) clang-19 libclang-rt-19-dev
# The targets make run builds and runs.
RUN_TARGETS := velk_calculations velk_tools velk
BROWSER_PACKAGES := chromium fonts-dejavu-core
FORMAT_FILES = $(shell find src tests bench fuzz tools -name '*.cpp' -o -name '*.hpp' 2>/dev/null)

ifndef PYTHON
PYTHON := $(shell \
  p="$$(pyenv prefix 3.12.1 2>/dev/null || true)/bin/python3.12"; \
  [ -x "$$p" ] || p="$$(ls -1d $$HOME/.pyenv/versions/3.12*/bin/python3.12 2>/dev/null | tail -n1 || true)"; \
  [ -n "$$p" ] && [ -x "$$p" ] || p="$$(command -v python3.12 || true)"; \
  echo "$$p")
endif

SYSTEM_PYTHON ?= /usr/bin/python3

.PHONY: all run test test-loaded test-sanitize test-browser bench bench-batch wheel fuzz format-check deps run-deps fuzz-deps \
  browser-deps python configure configure-run build build-run clean include-check \
  schema verification docs-check

all: build

# Installs the Debian packages of $(1) that are missing (apt-get update first).
define install_missing
	@missing=""; \
	for package in $(1); do \
	  dpkg -s "$$package" 2>/dev/null | grep '^Status: install ok installed' >/dev/null || missing="$$missing $$package"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing Debian packages:$$missing"; \
	  sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	  $$sudo apt-get update; \
	  DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(TEST_PACKAGES))

run-deps:
	$(call install_missing,$(RUN_PACKAGES))

fuzz-deps:
	$(call install_missing,$(FUZZ_PACKAGES))

# Headless Chromium for the browser tests of the HTML report.
browser-deps:
	$(call install_missing,$(BROWSER_PACKAGES))

python:
	@if [ -z "$(PYTHON)" ] || ! "$(PYTHON)" -c 'import sys; sys.exit(sys.version_info[:2] < (3, 11))'; then \
	  echo "Python 3.12 not found: install it (with headers) or pass PYTHON=/path/to/python3.11-or-later" >&2; exit 1; \
	fi

configure: deps python
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython3_EXECUTABLE="$(PYTHON)" -DVELK_BUILD_TESTS=ON

build: configure
	cmake --build $(BUILD_DIR)

# A build folder configured first by make run leaves out the tests, benchmarks
# and their packages; one configured by make test keeps them.
configure-run: run-deps python
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython3_EXECUTABLE="$(PYTHON)" \
	  $(if $(wildcard $(BUILD_DIR)/CMakeCache.txt),,-DVELK_BUILD_TESTS=OFF)

build-run: configure-run
	cmake --build $(BUILD_DIR) --target $(RUN_TARGETS)

run: build-run
	PYTHONPATH=$(BUILD_DIR)/python "$(PYTHON)" examples/run_examples.py examples/*.json
	$(BUILD_DIR)/velk analyse examples/portal_frame.json

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j "$$(nproc)"

# The Python-level suites (module, command line and report, batch, wheel) on
# a loaded machine: a busy loop per core, two copies of the suites at once,
# each suite twice in each (tools/test_loaded.sh). Fails on any failure.
test-loaded: build
	tools/test_loaded.sh $(BUILD_DIR)

test-sanitize: deps python
	cmake -S . -B $(SANITIZE_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK_SANITIZE=ON \
	  -DPython3_EXECUTABLE="$(PYTHON)"
	cmake --build $(SANITIZE_BUILD_DIR)
	UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(SANITIZE_BUILD_DIR) --output-on-failure -j "$$(nproc)"

# Reports of the examples, of a 100-member frame with 20 cases and of a model
# that cannot be analysed, rendered and checked in headless Chromium
# (tests/browser/check_reports.py); pages and screenshots in $(BUILD_DIR)/browser.
test-browser: build browser-deps
	mkdir -p $(BUILD_DIR)/browser
	python3 tests/browser/frame_model.py > $(BUILD_DIR)/browser/frame_100.json
	$(BUILD_DIR)/bench/write_bench_frame 300 > $(BUILD_DIR)/browser/building_300.json
	python3 tests/browser/frame_model.py --unanalysable > $(BUILD_DIR)/browser/unanalysable.json
	python3 tests/browser/check_reports.py --self-test --velk $(BUILD_DIR)/velk --out $(BUILD_DIR)/browser \
	  --broken $(BUILD_DIR)/browser/unanalysable.json examples/*.json $(BUILD_DIR)/browser/frame_100.json \
	  $(BUILD_DIR)/browser/building_300.json

bench: configure
	cmake --build $(BUILD_DIR) --target velk_bench
	$(BUILD_DIR)/bench/velk_bench

wheel: build-run
	$(call install_missing,patchelf)
	"$(SYSTEM_PYTHON)" packaging/make_wheel.py --build-dir $(BUILD_DIR) --out dist

# The 100-member frame of the benchmarks, analysed serially in one process and
# as a batch on a local cluster of one worker process per core.
bench-batch: configure
	cmake --build $(BUILD_DIR) --target velk_calculations write_bench_frame
	PYTHONPATH=$(BUILD_DIR)/python:python "$(SYSTEM_PYTHON)" bench/batch/bench_batch.py $(BUILD_DIR)/bench/write_bench_frame

# Each target runs for FUZZ_SECONDS on a fresh corpus seeded with the examples
# and the test models; a finding stops the run and leaves its input in
# $(FUZZ_BUILD_DIR)/findings/ (keep it in tests/fuzz_regressions/).
fuzz: fuzz-deps
	cmake -S . -B $(FUZZ_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK_FUZZ=ON \
	  -DCMAKE_CXX_COMPILER=$(FUZZ_CXX)
	cmake --build $(FUZZ_BUILD_DIR)
	rm -rf $(FUZZ_BUILD_DIR)/seeds && mkdir -p $(FUZZ_BUILD_DIR)/seeds $(FUZZ_BUILD_DIR)/findings
	cp examples/*.json $(FUZZ_BUILD_DIR)/seeds/
	find tests/fuzz_regressions -type f -exec cp -t $(FUZZ_BUILD_DIR)/seeds/ {} +
	$(FUZZ_BUILD_DIR)/fuzz/write_seeds $(FUZZ_BUILD_DIR)/seeds
	# A station count line before a document, for the front ends' target.
	for count in 0 2 3 100000 100001 -5 x; do \
	  { printf '#%s\n' "$$count"; cat examples/portal_frame.json; } > $(FUZZ_BUILD_DIR)/seeds/stations_$$count.json; \
	done
	for target in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD_DIR)/corpus/$$target; \
	  echo "== $$target: $(FUZZ_SECONDS) s"; \
	  UBSAN_OPTIONS=print_stacktrace=1 $(FUZZ_BUILD_DIR)/fuzz/$$target -max_total_time=$(FUZZ_SECONDS) \
	    -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 -dict=fuzz/velk.dict \
	    -artifact_prefix=$(FUZZ_BUILD_DIR)/findings/$$target- \
	    $(FUZZ_BUILD_DIR)/corpus/$$target $(FUZZ_BUILD_DIR)/seeds; \
	done

format-check:
	$(call install_missing,clang-format)
	@clang-format --dry-run --Werror $(FORMAT_FILES) && echo "clang-format: clean"

include-check:
	python3 tools/check_includes.py

schema: build
	$(BUILD_DIR)/velk_schema schema/velk-model.schema.json
	python3 tools/format_tables.py schema/velk-model.schema.json docs/model-format.md

verification: build
	PYTHONPATH=$(BUILD_DIR)/python "$(PYTHON)" tools/write_verification.py docs/verification.md

# The committed schema and verification manual must be what the engine as
# built writes now.
docs-check: build
	@$(BUILD_DIR)/velk_schema > $(BUILD_DIR)/velk-model.schema.json
	@PYTHONPATH=$(BUILD_DIR)/python "$(PYTHON)" tools/write_verification.py $(BUILD_DIR)/verification.md
	@status=0; \
	diff -u schema/velk-model.schema.json $(BUILD_DIR)/velk-model.schema.json || \
	  { echo "schema/velk-model.schema.json is out of date: run make schema" >&2; status=1; }; \
	diff -u docs/verification.md $(BUILD_DIR)/verification.md || \
	  { echo "docs/verification.md is out of date: run make verification" >&2; status=1; }; \
	python3 tools/format_tables.py --check schema/velk-model.schema.json docs/model-format.md || status=1; \
	[ $$status -eq 0 ] && echo "docs-check: schema and verification manual are current"; exit $$status

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_BUILD_DIR) $(FUZZ_BUILD_DIR) dist
