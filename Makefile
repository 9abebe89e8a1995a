# Kelvane: `make run` builds and starts the program, `make test` runs every test.
# Each target first installs the Debian packages it needs that are missing.

BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: configure build run test test-sanitize lint fuzz bench package mutate clean

configure:
	cmake -S . -B $(BUILD_DIR)

build:
	scripts/install-deps
	$(MAKE) configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run:
	scripts/install-deps
	$(MAKE) configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target kelvane
	$(BUILD_DIR)/bin/kelvane

test:
	scripts/install-deps test
	$(MAKE) configure
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Every test again, with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	scripts/install-deps test
	scripts/test-sanitize $(SANITIZE_DIR) $(JOBS)

lint:
	scripts/install-deps lint
	scripts/lint

fuzz:
	scripts/install-deps fuzz
	scripts/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS)

bench:
	scripts/install-deps test
	$(MAKE) configure
	cmake --build $(BUILD_DIR) -j $(JOBS)
	scripts/run-benchmarks $(BUILD_DIR)

package:
	scripts/install-deps package
	$(MAKE) configure
	cmake --build $(BUILD_DIR) -j $(JOBS)
	scripts/package $(BUILD_DIR)

# Which small faults the tests catch; see tools/mutate.
mutate:
	scripts/install-deps test mutate
	tools/mutate

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) build-lint build-mutate
