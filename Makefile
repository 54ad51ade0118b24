# Build, run, test and measure. Every target installs missing dependencies first.
BUILD ?= build
SANITIZE ?=
ifneq ($(SANITIZE),)
BUILD := build-sanitize
CMAKE_EXTRA := -DZANDELLE_SANITIZE=$(SANITIZE) -DCMAKE_BUILD_TYPE=Debug
endif
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test bench clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_EXTRA) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@$(BUILD)/bin/zandelle demo

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bin/bench-*; do echo "== $$b"; $$b --benchmark_min_time=0.2; done

clean:
	rm -rf build build-sanitize
