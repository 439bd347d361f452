# SPDX-License-Identifier: MIT
# The two everyday commands: `make run` and `make test`.
# Both install missing Debian packages first, then configure and build.
PRESET ?= default
# Where CMakePresets.json builds the preset: build, or build-PRESET.
BUILD_DIR := $(if $(filter default,$(PRESET)),build,build-$(PRESET))
JOBS ?= $(shell nproc)

FUZZ_SECONDS ?= 600

.PHONY: all deps deps-test configure build web run test test-sanitize fuzz tidy format bench bench-compare bench-web quality screenshot install package clean

all: build

# apt-get must never run twice at once.
.NOTPARALLEL:

# What building and running need; the test tools come with the test targets.
deps:
	@scripts/install-deps.sh run

# The page tests' puppeteer-core, as web/package-lock.json pins it.
deps-test:
	@scripts/install-deps.sh test
	@cmp -s web/package-lock.json web/node_modules/.installed-lock 2>/dev/null || \
	  { npm ci --prefix web --no-audit --no-fund --ignore-scripts && cp web/package-lock.json web/node_modules/.installed-lock; }

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

# pixolan.html, the page in WebAssembly: $(BUILD_DIR)/web/pixolan.html.
web: deps-test configure
	@cmake --build --preset $(PRESET) --target web -j $(JOBS)

# Only the window and its decoding programs: the tests come with `make test`.
run: configure
	@cmake --build --preset $(PRESET) --target pixolan -j $(JOBS)
	$(BUILD_DIR)/bin/pixolan

test: deps-test build
	ctest --preset $(PRESET) -j $(JOBS)

# The whole suite again, built with AddressSanitizer and UBSan.
test-sanitize: deps-test
	@cmake --preset sanitize >/dev/null
	@cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS)

# Fuzzes one target for FUZZ_SECONDS (default 10 minutes): FUZZ_TARGET=picture
# (default) runs picture decoding and encoding, seeded with the shared test
# pictures, crash inputs to fuzz/crashes/; FUZZ_TARGET=decode_result runs the
# loader's reader of decoder results, crash inputs to fuzz/crashes/decode_result/.
# A decoder refuses more than 512 MB before allocating, so one malloc over
# 1 GB is a finding.
FUZZ_TARGET ?= picture
fuzz_seeds_picture := tests/data/pictures
fuzz_crashes_picture := fuzz/crashes/
fuzz_seeds_decode_result := fuzz/decode_result_seeds
fuzz_crashes_decode_result := fuzz/crashes/decode_result/
fuzz:
	@test -n "$(fuzz_seeds_$(FUZZ_TARGET))" || { echo "FUZZ_TARGET is picture or decode_result" >&2; exit 2; }
	@scripts/install-deps.sh test clang-14 libclang-rt-14-dev
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@mkdir -p build-fuzz/corpus-$(FUZZ_TARGET) $(fuzz_crashes_$(FUZZ_TARGET))
	ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=2048:detect_leaks=0 \
	  build-fuzz/bin/$(FUZZ_TARGET)_fuzzer -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2560 -malloc_limit_mb=1024 \
	  -timeout=10 -artifact_prefix=$(fuzz_crashes_$(FUZZ_TARGET)) build-fuzz/corpus-$(FUZZ_TARGET) \
	  $(fuzz_seeds_$(FUZZ_TARGET))

# clang-tidy's checks (.clang-tidy) over every source of ours the build
# compiles, with gcc's flags: the gcc-only warnings are no error to clang.
tidy: deps-test build
	run-clang-tidy-14 -p $(BUILD_DIR) -quiet -j $(JOBS) -extra-arg=-Wno-unknown-warning-option '^$(CURDIR)/(bench|cli|encoder|fuzz|io|model|picture|resources|tests|ui)/'

# Lays the sources out as .clang-format says; the format test checks them.
format:
	@scripts/install-deps.sh run clang-format-14
	scripts/format.sh apply

bench: build
	$(BUILD_DIR)/bin/pixolan-bench

# pixolan-encode beside ImageMagick and vipsthumbnail, whole process; writes docs/benchmarks.md.
bench-compare: build web
	@scripts/install-deps.sh test imagemagick hyperfine libvips-tools
	scripts/bench-compare.sh $(BUILD_DIR) docs/benchmarks.md

# The browser page in headless Chromium: opening to the first picture, an
# Encode, its memory and size; rewrites docs/benchmarks.md's section on it.
bench-web: web
	PIXOLAN_PAGE=$(BUILD_DIR)/web/pixolan.html PIXOLAN_PICTURES=tests/data/pictures \
	  node web/bench/page_bench.mjs --write docs/benchmarks.md

# What the panel shows beside the picture, per depth and dither; writes docs/quality.md.
quality: build
	@scripts/install-deps.sh test imagemagick python3-numpy
	scripts/dither-quality.py $(BUILD_DIR) docs/quality.md

screenshot: build
	scripts/screenshot.sh $(BUILD_DIR)/bin/pixolan docs/screenshot.png

install: build
	cmake --install $(BUILD_DIR)

# The Debian package, $(BUILD_DIR)/pixolan_<version>_<arch>.deb. The packaging
# tools come with the test group; the man pages need scdoc.
package: deps-test build
	@test -f $(BUILD_DIR)/docs/man/pixolan-encode.1.gz || { echo "man pages were not built: is scdoc installed?" >&2; exit 1; }
	cd $(BUILD_DIR) && cpack

clean:
	rm -rf build build-ci build-sanitize build-fuzz
