# The two commands a new machine needs: `make run` and `make test`.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build run test bench clean

all: build

deps:
	scripts/install-deps

configure: deps
	cmake --preset default

build: configure
	cmake --build build -j $(JOBS)

# Starts the application; without a display it runs the headless demo instead.
run: build
	scripts/run

test: build
	ctest --test-dir build --output-on-failure -j $(JOBS)

bench: build
	scripts/bench

clean:
	rm -rf build
