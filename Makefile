# Build, run, test and measure. Every target installs missing dependencies first.
BUILD ?= build
SANITIZE ?=
comma := ,
ifneq ($(SANITIZE),)
# One tree per sanitizer set (build-thread, build-address-undefined): thread
# and address objects cannot be mixed
BUILD := build-$(subst $(comma),-,$(SANITIZE))
CMAKE_EXTRA := -DZANDELLE_SANITIZE=$(SANITIZE) -DCMAKE_BUILD_TYPE=Debug
# A data race fails the test that runs into it
export TSAN_OPTIONS ?= halt_on_error=1 second_deadlock_stack=1
endif
# Another compiler (make test CXX=clang++) builds in a tree of its own
ifeq ($(origin CXX),command line)
BUILD := $(BUILD)-$(notdir $(CXX))
CMAKE_EXTRA += -DCMAKE_CXX_COMPILER=$(CXX)
endif
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
# make fuzz: seconds per fuzz target; make soak: kills
SECONDS ?= 60
TRIALS ?= 100
FUZZ_BUILD := build-fuzz

.PHONY: deps configure build run test bench install fuzz soak clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_EXTRA) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Each program also writes its results as JSON; the table of goals is made
# from those of this run only
bench: build
	@rm -rf $(BUILD)/bench-results && mkdir -p $(BUILD)/bench-results
	@for b in $(BUILD)/bin/bench-*; do echo "== $$b"; $$b --benchmark_min_time=0.2 \
		--benchmark_out=$(BUILD)/bench-results/$$(basename $$b).json --benchmark_out_format=json; done
	@$(BUILD)/bin/zandelle-bench-table $(BUILD)/bench-results

install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# libFuzzer targets, built with clang and the address and undefined-behaviour
# sanitizers in a tree of their own; each runs SECONDS seconds
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
		-DCMAKE_CXX_COMPILER=clang++ -DZANDELLE_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@bash scripts/fuzz.sh $(FUZZ_BUILD) $(SECONDS)

# SIGKILLs during upgrades of a generated 60,000-object project, during set,
# import and a compile that writes the tile cache, and two writers at once
soak: build
	@cmake --build $(BUILD) --target zandelle-soak
	@rm -rf $(BUILD)/soak && mkdir -p $(BUILD)/soak
	@$(BUILD)/bin/zandelle-soak $(BUILD)/bin/zandelle $(BUILD)/soak $(TRIALS)

clean:
	rm -rf build build-sanitize build-thread build-address* $(FUZZ_BUILD)
