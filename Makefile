# Entry points for a new machine. `make run` installs what building and running need, builds and
# starts the player; `make test` installs the test tools too, builds and runs the whole suite;
# `make package` writes the Debian package tarvel-player_<version>_amd64.deb here.
BUILD ?= build
PACKAGE_BUILD ?= build-package
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

# Which set of packages scripts/install-deps installs, and whether the test suite is built.
DEPS = test
TESTS = ON
run: DEPS = build
run: TESTS = OFF

.PHONY: deps configure build run test package clean

deps:
	bash scripts/install-deps --$(DEPS)

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_TESTS=$(TESTS) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/tarvel-player

test: build
	bash scripts/run-tests $(BUILD)

# A release build of its own with Debian's hardening flags; CPack computes the dependencies from
# the binary (dpkg-shlibdeps).
package:
	bash scripts/install-deps --package
	bash scripts/build-package $(PACKAGE_BUILD) .

clean:
	rm -rf $(BUILD) $(PACKAGE_BUILD)
