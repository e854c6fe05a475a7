# The two commands of the README: `make run` and `make test`.
BUILD ?= build
# The tests run in a build of their own, under AddressSanitizer and UndefinedBehaviorSanitizer;
# the program that `make run` starts is the optimised build above.
TEST_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test fuzz fuzz-long bench package install clean

deps:
	bash scripts/deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd $(BUILD)/bin && ./tarnvale

# The short fuzz run comes first so that CTest's summary is the last thing printed.
test: deps
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTARNVALE_SANITIZE=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)
	bash scripts/fuzz.sh
	bash scripts/pg-test.sh $(TEST_BUILD) --output-on-failure -j $(JOBS)

fuzz: deps
	bash scripts/fuzz.sh

# A longer run of every fuzz target (FUZZ_LONG_SECONDS each, ten minutes unless given),
# on the corpus the short runs have grown.
FUZZ_LONG_SECONDS ?= 600
fuzz-long: deps
	FUZZ_SECONDS=$(FUZZ_LONG_SECONDS) bash scripts/fuzz.sh

# The Debian package tarnvale_<version>_amd64.deb, made in the build folder.
package: build
	cmake --build $(BUILD) --target package

# Installs into PREFIX (default /usr/local).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: build
	bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-fuzz
