# The two everyday commands: `make run` and `make test`.
# Both install missing Debian packages first, then configure and build.
PRESET ?= default
BUILD_DIR := build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench screenshot install clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

run: build
	$(BUILD_DIR)/ui/pixolan

test: build
	ctest --preset $(PRESET) -j $(JOBS)

bench: build
	$(BUILD_DIR)/bench/pixolan-bench

screenshot: build
	scripts/screenshot.sh $(BUILD_DIR)/ui/pixolan docs/screenshot.png

install: build
	cmake --install $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
