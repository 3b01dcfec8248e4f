# Entry points for a new machine. `make run` installs, builds and starts the player;
# `make test` installs, builds and runs the whole test suite.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps configure build run test clean

deps:
	bash scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/app/tarvel-player

test: build
	bash scripts/run-tests $(BUILD)

clean:
	rm -rf $(BUILD)
