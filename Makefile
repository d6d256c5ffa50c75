# Front door of the project. `make demo` and `make test` do all set-up on a fresh Debian 12.
JOBS ?= $(shell nproc)

.PHONY: all build test test-native test-mips test-tsan demo demo-mips bench fuzz release-check clean \
	deps check-layers rootfs board board-test board-image

all: build

deps:
	@scripts/deps.sh

# Native release build: -Os, stripped, programs in build/bin/.
build: deps
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, the DIAG engine's tests
# under ThreadSanitizer, then the whole suite again on the 32-bit MIPS target under qemu.
test: deps check-layers test-native test-tsan test-mips

# No product code includes test equipment, and no program includes another.
check-layers:
	@scripts/check_layers.sh

test-native:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

# Only the DIAG engine's tests (label "diag"): its reader thread and requesters share state.
test-tsan:
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

test-mips:
	cmake --preset mips >/dev/null
	cmake --build --preset mips -j $(JOBS)
	ctest --preset mips

demo: build
	demo/run.sh

# The board's staging root: the MIPS programs and start-up scripts in build-rootfs/stage/,
# packed as build-rootfs/router-rootfs.tar.gz, with build-rootfs/MANIFEST.txt. A board SDK's
# toolchain: make rootfs ROUTER_CROSS_PREFIX=/opt/sdk/bin/mipsel-linux-uclibc- ROUTER_SYSROOT=...
rootfs: deps
	JOBS=$(JOBS) ROUTER_CROSS_PREFIX="$(ROUTER_CROSS_PREFIX)" ROUTER_SYSROOT="$(ROUTER_SYSROOT)" \
		scripts/rootfs.sh

bench: deps
	scripts/bench.sh

# The demo again, with the board's programs from the staging root started through qemu-user
# and the simulated peers native.
demo-mips: build rootfs
	DEMO_PROGRAMS=mips demo/run.sh

# Before shipping: the suite, every fuzz target for FUZZ_SECONDS (60 here), the daemons'
# soaks, the footprint budget and the emulated board's test when there is one. One table.
release-check: deps
	FUZZ_SECONDS=$(if $(filter command line environment,$(origin FUZZ_SECONDS)),$(FUZZ_SECONDS),60) JOBS=$(JOBS) scripts/release_check.sh

# Every fuzz target (clang, libFuzzer) for FUZZ_SECONDS each; inputs that break a target are
# kept in fuzz/regressions/. `make test` replays the corpora on the ordinary builds.
FUZZ_SECONDS ?= 10
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) scripts/fuzz.sh

# The emulated board: the staging root (`make rootfs`) booted as a whole router on an emulated
# MIPS Malta board, with the simulated card and PPP peers on the host side. Not part of
# `make test`. `make board` gives a shell on its console; `make board-test` runs the system
# there and prints one table.
board-image: build rootfs
	scripts/board_deps.sh
	cmake --preset mips >/dev/null
	cmake --build --preset mips -j $(JOBS) --target nvram mtd nvram_mtd_read nvram_mtd_write rcmserver
	scripts/board_image.sh

board: board-image
	scripts/board.sh

board-test: board-image
	scripts/board_test.sh

clean:
	rm -rf build build-asan build-mips build-bench build-tsan build-fuzz build-rootfs \
		build-release-check build-board
