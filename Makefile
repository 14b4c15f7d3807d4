# The two entry points: `make run` and `make test`. Both install what is missing, configure
# into build/ and build; extra CMake options can be given in CMAKE_ARGS. `make package` builds
# the Debian package from the same build.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CMAKE_ARGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test package bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

run: build
	$(BUILD_DIR)/app/paddock

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# dpkg-shlibdeps (dpkg-dev) reads the package's dependencies from the binaries; file finds them.
package: build
	@scripts/install-deps.sh dpkg-dev file
	cmake --build $(BUILD_DIR) --target package -j$(JOBS)

bench: build
	$(BUILD_DIR)/bench/log_flood
	$(BUILD_DIR)/bench/log_search
	$(BUILD_DIR)/bench/log_filter
	$(BUILD_DIR)/bench/log_file
	$(BUILD_DIR)/bench/log_history
	$(BUILD_DIR)/bench/archive_database
	$(BUILD_DIR)/bench/snapshot_database
	$(BUILD_DIR)/bench/worlds_flood

clean:
	rm -rf $(BUILD_DIR)
