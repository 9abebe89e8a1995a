# Kelvane: `make run` builds and starts the program, `make test` runs every test.
# Both first install whatever Debian packages are missing.

BUILD_DIR ?= build
SANITIZE_DIR ?= build-sanitize
FUZZ_DIR ?= build-fuzz
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: deps configure build run test test-sanitize lint fuzz bench package clean

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	$(BUILD_DIR)/src/kelvane

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Every test again, with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: deps
	scripts/test-sanitize $(SANITIZE_DIR) $(JOBS)

lint: deps
	scripts/lint

fuzz: deps
	scripts/fuzz $(FUZZ_DIR) $(FUZZ_SECONDS)

bench: build
	scripts/run-benchmarks $(BUILD_DIR)

package: build
	scripts/package $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) build-lint
