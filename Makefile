# Vardel: the two commands a new machine needs are `make demo` and `make test`.
# Each installs the Debian packages it needs first (scripts/install-deps).

JOBS ?= $(shell nproc)
BUILD ?= build
# ccache, where installed, makes rebuilds in several checkouts cheap.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build test asan tsan bench demo install clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Every test under AddressSanitizer + UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVARDEL_SANITIZE=address,undefined $(LAUNCHER)
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The threaded tests under ThreadSanitizer.
tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVARDEL_SANITIZE=thread $(LAUNCHER)
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS) -L threads

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVARDEL_BENCH=ON $(LAUNCHER)
	cmake --build build-bench -j $(JOBS)
	scripts/run-bench build-bench

demo: build
	scripts/demo $(BUILD)

install: build
	cmake --install $(BUILD) --prefix $(or $(PREFIX),/usr/local)

clean:
	rm -rf build build-asan build-tsan build-bench
