# The two commands of the README, and a few helpers.
#   make run   - install what is missing, build a release build, start the program
#   make test  - install what is missing, build with sanitizers, run every test
#   make install [PREFIX=/usr/local] [DESTDIR=...] - install the release build
#   make package - a Debian package of the release build, in build/release
#   make bench - the benchmarks (only this builds them), in build/bench/bin
JOBS ?= 2
PREFIX ?= /usr/local
RELEASE_DIR := build/release
TEST_DIR := build/test

.PHONY: run test deps release test-build install package bench fuzz fuzz-build clean

deps:
	@bash scripts/install-deps

release: deps
	@cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DZW_BUILD_TESTS=OFF -DZW_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(RELEASE_DIR) -j $(JOBS)

run: release
	@bash scripts/run-app $(RELEASE_DIR)/bin/zwirbels

install: release
	@DESTDIR="$(DESTDIR)" cmake --install $(RELEASE_DIR) --prefix "$(PREFIX)"

package: release
	@cmake --build $(RELEASE_DIR) --target package

test-build: deps
	@cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZW_SANITIZE=ON -DZW_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(TEST_DIR) -j $(JOBS)

# The fuzz targets run briefly here, so a broken fuzz build fails too.
test: test-build fuzz-build
	@bash scripts/run-tests $(TEST_DIR)
	@bash fuzz/run-fuzzers $(FUZZ_DIR) $(FUZZ_SMOKE_SECONDS)

bench: deps
	@cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DZW_BUILD_TESTS=OFF -DZW_BUILD_BENCH=ON >/dev/null
	@cmake --build build/bench -j $(JOBS)

# libFuzzer targets (fuzz/), a clang build of their libraries apart from the
# other builds, run for FUZZ_SECONDS each, or for FUZZ_RUNS inputs each when
# that is given.
FUZZ_DIR := build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_RUNS ?=
FUZZ_SMOKE_SECONDS := 3
fuzz-build: deps
	@cmake -S . -B $(FUZZ_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DZW_FUZZ=ON -DZW_BUILD_TESTS=OFF \
	       -DZW_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzzers

fuzz: fuzz-build
	@bash fuzz/run-fuzzers $(FUZZ_DIR) $(FUZZ_SECONDS) $(FUZZ_RUNS)

clean:
	rm -rf build
