# The two commands of the quick start: `make demo` and `make check`.
# Both set the machine up first (scripts/setup installs what is missing).

BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE   := cmake -G Ninja -Wno-dev
NATIVE  := $(BUILD)/native
ASAN    := $(BUILD)/asan
WIN32   := $(BUILD)/i686-w64-mingw32
WIN64   := $(BUILD)/x86_64-w64-mingw32
TSAN    := $(BUILD)/tsan
FUZZ    := $(BUILD)/fuzz

# Seconds per fuzz target: `make fuzz`, and the short run of `make check`.
FUZZ_SECONDS       ?= 600
FUZZ_CHECK_SECONDS ?= 60
SOAK_CYCLES        ?= 100000

.PHONY: all setup native asan cross demo check clean tsan fuzz-build fuzz fuzz-check soak digests

all: native

setup:
	scripts/setup

# The Wine tests of the Windows program join the native test suite only
# under `make check`, which builds the x86_64 program first.
WINE_TESTS_WIN64 ?=

native: setup
	$(CMAKE) -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSAREAD_WIN64_DIR=$(WINE_TESTS_WIN64)
	cmake --build $(NATIVE) -j $(JOBS)

# The engine and its tests under AddressSanitizer and UBSan.
asan: setup
	$(CMAKE) -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DTESSAREAD_SANITIZE=address,undefined
	cmake --build $(ASAN) -j $(JOBS)

# Both Windows targets from the same sources: i686 is the shipped program,
# x86_64 the one the tests run under wine64. Their version resource says
# 1.0.0; `make dist` builds them again with the release's version.
cross: setup
	$(CMAKE) -S . -B $(WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake -DTESSAREAD_VERSION=
	cmake --build $(WIN32) -j $(JOBS)
	$(CMAKE) -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DTESSAREAD_VERSION=
	cmake --build $(WIN64) -j $(JOBS)

# The frame hand-over between two threads (and the rest of the recognition
# and shell tests) under ThreadSanitizer.
tsan: setup
	$(CMAKE) -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSAREAD_SANITIZE=thread
	cmake --build $(TSAN) -j $(JOBS) --target recognition_tests shell_tests
	$(TSAN)/tests/recognition_tests --gtest_brief=1
	$(TSAN)/tests/shell_tests --gtest_brief=1

# The libFuzzer targets (clang, with ASan and UBSan); scripts/run-fuzz
# runs each for the given seconds.
fuzz-build: setup
	$(CMAKE) -S . -B $(FUZZ) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTESSAREAD_SANITIZE=address,undefined -DTESSAREAD_FUZZ=ON -DTESSAREAD_TESTS=OFF
	cmake --build $(FUZZ) -j $(JOBS)

fuzz: fuzz-build
	scripts/run-fuzz $(FUZZ) $(FUZZ_SECONDS)

# A fixed seed: CI replays the inputs this run was checked with.
fuzz-check: fuzz-build
	rm -rf $(FUZZ)/fuzz-corpus
	FUZZ_SEED=1 scripts/run-fuzz $(FUZZ) $(FUZZ_CHECK_SECONDS)

# 100,000 recognition cycles in one process; memory must stay constant.
soak: native
	$(NATIVE)/bench/tessaread-soak --cycles $(SOAK_CYCLES) samples/frames/*.png samples/frames/*.jpg

# The default reading path, byte for byte, against tests/digests/.
digests: native
	scripts/check-digests $(NATIVE)

demo: native
	scripts/demo $(NATIVE)

# The Windows program under Wine, the test camera playing the sample
# frames: prints the results box after some cycles and saves a screenshot
# of both windows into build/demo-windows.
.PHONY: demo-windows
demo-windows: native cross
	scripts/wine-demo $(WIN64) $(NATIVE)

# The release: dist/tessaread-VERSION-windows.zip from the two Windows
# builds, then checked (its files, the programs' formats and imports, and
# under Wine the unpacked program reading through the unpacked test
# camera). The version is what git describe says, less the tag's v;
# without a tag, the commit.
DIST_VERSION = $(or $(shell git describe --tags --always --dirty --match 'v[0-9]*' 2>/dev/null | sed 's/^v//'),unknown)
.PHONY: dist
dist: setup
	$(CMAKE) -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSAREAD_WIN64_DIR=$(WINE_TESTS_WIN64)
	cmake --build $(NATIVE) -j $(JOBS) --target testcam-frames
	$(CMAKE) -S . -B $(WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake -DTESSAREAD_VERSION=$(DIST_VERSION)
	cmake --build $(WIN32) -j $(JOBS) --target Tessaread tessaread-testcam
	$(CMAKE) -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DTESSAREAD_VERSION=$(DIST_VERSION)
	cmake --build $(WIN64) -j $(JOBS) --target Tessaread tessaread-testcam wine-probe
	scripts/dist $(DIST_VERSION) $(WIN32) $(WIN64) $(NATIVE)

check: WINE_TESTS_WIN64 = $(abspath $(WIN64))
check: native asan cross
	scripts/check-digests $(NATIVE)
	ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory tsan fuzz-check

clean:
	rm -rf $(BUILD) dist
