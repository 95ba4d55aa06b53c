# Build, run and test velk_calculations on a Debian 12 machine.
#   make run            install what is missing, build (Release), run the examples
#   make test           the same set-up, then every test
#   make test-sanitize  every test again, built with address and UB sanitizers
#   make bench          the Google Benchmark timings
#   make format-check   clang-format over the C++ sources
# Python 3.12 (with headers) is taken from PYTHON when given, else from pyenv,
# else from python3.12 on the PATH.

SHELL := /bin/bash
.SHELLFLAGS := -euo pipefail -c

BUILD_DIR ?= build
SANITIZE_BUILD_DIR ?= build-asan
DEB_PACKAGES := cmake ninja-build g++ libeigen3-dev rapidjson-dev libgtest-dev libbenchmark-dev clang-format
FORMAT_FILES = $(shell find src tests bench -name '*.cpp' -o -name '*.hpp' 2>/dev/null)

ifndef PYTHON
PYTHON := $(shell \
  p="$$(pyenv prefix 3.12.1 2>/dev/null || true)/bin/python3.12"; \
  [ -x "$$p" ] || p="$$(ls -1d $$HOME/.pyenv/versions/3.12*/bin/python3.12 2>/dev/null | tail -n1 || true)"; \
  [ -n "$$p" ] && [ -x "$$p" ] || p="$$(command -v python3.12 || true)"; \
  echo "$$p")
endif

.PHONY: all run test test-sanitize bench format-check deps python configure build clean

all: build

deps:
	@missing=""; \
	for package in $(DEB_PACKAGES); do \
	  dpkg -s "$$package" 2>/dev/null | grep '^Status: install ok installed' >/dev/null || missing="$$missing $$package"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing Debian packages:$$missing"; \
	  sudo=""; [ "$$(id -u)" -eq 0 ] || sudo=sudo; \
	  $$sudo apt-get update; \
	  DEBIAN_FRONTEND=noninteractive $$sudo apt-get install -y --no-install-recommends $$missing; \
	fi

python:
	@if [ -z "$(PYTHON)" ] || ! "$(PYTHON)" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 12))'; then \
	  echo "Python 3.12 not found: install it (with headers) and pass PYTHON=/path/to/python3.12" >&2; exit 1; \
	fi

configure: deps python
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython3_EXECUTABLE="$(PYTHON)"

build: configure
	cmake --build $(BUILD_DIR)

run: build
	PYTHONPATH=$(BUILD_DIR)/python "$(PYTHON)" examples/run_examples.py examples/*.json

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j "$$(nproc)"

test-sanitize: deps python
	cmake -S . -B $(SANITIZE_BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELK_SANITIZE=ON \
	  -DPython3_EXECUTABLE="$(PYTHON)"
	cmake --build $(SANITIZE_BUILD_DIR)
	UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir $(SANITIZE_BUILD_DIR) --output-on-failure -j "$$(nproc)"

bench: configure
	cmake --build $(BUILD_DIR) --target velk_bench
	$(BUILD_DIR)/bench/velk_bench

format-check: deps
	@clang-format --dry-run --Werror $(FORMAT_FILES) && echo "clang-format: clean"

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_BUILD_DIR)
