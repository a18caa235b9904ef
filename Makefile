# The two commands of the quick start: `make demo` and `make check`.
# Both set the machine up first (scripts/setup installs what is missing).

BUILD   ?= build
JOBS    ?= $(shell nproc)
CMAKE   := cmake -G Ninja -Wno-dev
NATIVE  := $(BUILD)/native
ASAN    := $(BUILD)/asan
WIN32   := $(BUILD)/i686-w64-mingw32
WIN64   := $(BUILD)/x86_64-w64-mingw32

.PHONY: all setup native asan cross demo check clean

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
# x86_64 the one the tests run under wine64.
cross: setup
	$(CMAKE) -S . -B $(WIN32) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
	cmake --build $(WIN32) -j $(JOBS)
	$(CMAKE) -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake
	cmake --build $(WIN64) -j $(JOBS)

demo: native
	scripts/demo $(NATIVE)

# The Windows program under Wine, the test camera playing the sample
# frames: prints the results box after some cycles and saves a screenshot
# of both windows into build/demo-windows.
.PHONY: demo-windows
demo-windows: native cross
	scripts/wine-demo $(WIN64) $(NATIVE)

check: WINE_TESTS_WIN64 = $(abspath $(WIN64))
check: native asan cross
	ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
