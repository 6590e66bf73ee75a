# Vardel: the two commands a new machine needs are `make demo` and `make test`.
# Each installs the Debian packages it needs first (scripts/install-deps).

JOBS ?= $(shell nproc)
BUILD ?= build
# ccache, where installed, makes rebuilds in several checkouts cheap.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build test asan tsan bench fuzz demo install uninstall deb package-test clean

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

# Every fuzz target under libFuzzer (clang, ASan + UBSan) for FUZZ_SECONDS
# each, new inputs kept in build-fuzz/corpus, the seed corpora in fuzz/corpus.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := fuzz_backup_reader fuzz_vcard fuzz_android_sms fuzz_json_import fuzz_registry fuzz_dates \
  fuzz_saved_file_check
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARDEL_FUZZ=ON \
	  -DVARDEL_WERROR=OFF -DVARDEL_SANITIZE=address,undefined $(LAUNCHER)
	cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$t; \
	  echo "== $$t ($(FUZZ_SECONDS) s)"; \
	  build-fuzz/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    build-fuzz/corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

demo: build
	scripts/demo $(BUILD)

install: build
	cmake --install $(BUILD) --prefix $(or $(PREFIX),/usr/local)

# Removes what `make install` put in place (every install from this build).
uninstall:
	cmake --build $(BUILD) --target uninstall

# The Debian package, in $(BUILD)/package: `sudo apt install ./$(BUILD)/package/vardel_*.deb`.
deb: build
	cd $(BUILD) && cpack -G DEB

# Builds the package and checks its files, Depends, lintian, an install into
# a scratch root and its removal, and make install / uninstall.
package-test: build
	scripts/check-package $(BUILD)

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
