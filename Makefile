# The two commands of the README: `make run` and `make test`.
BUILD ?= build
# The tests run in a build of their own, under AddressSanitizer and UndefinedBehaviorSanitizer;
# the program that `make run` starts is the optimised build above.
TEST_BUILD ?= build-asan
JOBS ?= $(shell nproc)

.PHONY: deps deps-test configure programs build run test fuzz fuzz-long bench package install clean

# What the program needs to build and run; deps-test adds the test tooling.
deps:
	bash scripts/deps.sh

deps-test:
	bash scripts/deps.sh test

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The three programs and their files only, no tests or benchmarks.
programs: configure
	cmake --build $(BUILD) -j $(JOBS) --target tarnvale tarnvale-pack tarnvale-export tarnvale_resources

run: programs
	cd $(BUILD)/bin && ./tarnvale

# The short fuzz run comes first so that CTest's summary is the last thing printed.
test: deps-test
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTARNVALE_SANITIZE=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)
	bash scripts/fuzz.sh
	bash scripts/pg-test.sh $(TEST_BUILD) --output-on-failure -j $(JOBS)

fuzz: deps-test
	bash scripts/fuzz.sh

# A longer run of every fuzz target (FUZZ_LONG_SECONDS each, ten minutes unless given),
# on the corpus the short runs have grown.
FUZZ_LONG_SECONDS ?= 600
fuzz-long: deps-test
	FUZZ_SECONDS=$(FUZZ_LONG_SECONDS) bash scripts/fuzz.sh

# The Debian package tarnvale_<version>_amd64.deb, made in a build folder of its own with the
# distribution's hardening flags (fortify, stack protector, relro, bindnow) and no tests.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package: deps
	cmake -S . -B $(BUILD)-package -DCMAKE_BUILD_TYPE=None -DTARNVALE_TESTS=OFF -DTARNVALE_BENCH=OFF \
	    -DCMAKE_C_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CFLAGS)" \
	    -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CPPFLAGS) $$($(DEB_FLAGS) CXXFLAGS)" \
	    -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)"
	cmake --build $(BUILD)-package -j $(JOBS) --target package

# Installs into PREFIX (default /usr/local).
PREFIX ?= /usr/local
install: programs
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: deps-test build
	bash scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD)-package $(TEST_BUILD) build-fuzz
