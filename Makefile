# Front door of the project. `make test` and `make demo` are what a newcomer
# runs; both install missing dependencies first (scripts/setup).
SHELL := /bin/bash
HOST_BUILD := build/host
WIN_BUILD := build/win
LINUX_BUILD := build/linux
BUILD_TYPE ?= RelWithDebInfo

.PHONY: all setup host lint linux win dist installer test test-host test-linux test-win test-parity test-sanitize fuzz-build fuzz soak bench bench-win demo format clean

all: host dist

setup:
	@scripts/setup

# Every build the tests use treats warnings as errors; the host build also
# runs clang-tidy (.clang-tidy) on the core and the host platform.
HOST_CONFIG = cmake -S . -B $(HOST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	    -DORV_WERROR=ON -DORV_CLANG_TIDY=ON >/dev/null

host: setup
	@$(HOST_CONFIG)
	@cmake --build $(HOST_BUILD)

# The native Linux service: build/linux/orvane-hid, and its tests.
linux: setup
	@cmake -S . -B $(LINUX_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) \
	    -DORV_PLATFORM=linux -DORV_WERROR=ON >/dev/null
	@cmake --build $(LINUX_BUILD)

# The static checks alone: the include directions of the core
# (scripts/check-layering), then the core and the host platform compiled
# with clang-tidy.
lint: setup
	@scripts/check-layering
	@$(HOST_CONFIG)
	@cmake --build $(HOST_BUILD) --target orv_core orv_common_platform orv_host_platform

win: setup
	@cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DORV_WERROR=ON >/dev/null
	@cmake --build $(WIN_BUILD)

# The Windows product, laid out as it is shipped.
dist: win
	@rm -rf dist
	@cmake --install $(WIN_BUILD) --prefix $(CURDIR)/dist >/dev/null
	@echo "dist/ ready"

# The per-user setup program, cross-built with NSIS from what dist/ ships
# (installer/orvane.nsi; the version comes from the Windows build folder).
installer: dist
	@mkdir -p dist/installer
	@makensis -V2 -WX -DORV_DIST=$(CURDIR)/dist -DORV_BUILD=$(CURDIR)/$(WIN_BUILD) \
	    -DORV_OUT_DIR=$(CURDIR)/dist/installer installer/orvane.nsi
	@echo "dist/installer/ ready: $$(cd dist/installer && ls OrvaneSetup-*.exe)"

test-host: host
	ctest --test-dir $(HOST_BUILD) --output-on-failure -j2

# Each test that needs the session bus starts one of its own (dbus-run-session).
test-linux: linux
	ctest --test-dir $(LINUX_BUILD) --output-on-failure -j2

test-win: installer
	scripts/wine-harness ctest --test-dir $(WIN_BUILD) --output-on-failure

# An upload's keyboard traffic, the same on Linux as on Windows (scripts/upload-parity).
test-parity: linux dist
	scripts/upload-parity

test: lint test-host test-sanitize test-linux test-win test-parity

# Host tests again, built with clang and AddressSanitizer/UBSan, plus the fuzz targets.
FUZZ_BUILD := build/fuzz
fuzz-build: setup
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DORV_FUZZ=ON -DORV_WERROR=ON >/dev/null
	@cmake --build $(FUZZ_BUILD)

test-sanitize: fuzz-build
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j2

# Every fuzz target for FUZZ_SECONDS (default 60) from its committed seeds.
FUZZ_SECONDS ?= 60
fuzz: fuzz-build
	scripts/fuzz $(FUZZ_SECONDS)

# The whole service under a long run of random events on the host platform,
# with its figures (SOAK_EVENTS, default 100000; SOAK_SEED, default 1).
SOAK_EVENTS ?= 100000
SOAK_SEED ?= 1
soak: host
	$(HOST_BUILD)/tests/soak/orv_soak --events $(SOAK_EVENTS) --seed $(SOAK_SEED)

bench: host
	@for b in $(HOST_BUILD)/bench/orv_*_bench; do echo "== $$b"; $$b; done

bench-win: dist
	scripts/wine-harness bash -c 'for b in $(WIN_BUILD)/bench/win/orv_*_bench_win.exe; do echo "== $$b"; wine $$b; done'

demo: dist
	scripts/wine-harness scripts/demo

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build dist
