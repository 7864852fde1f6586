# Nimbra Browser: `make run` starts the browser, `make test` runs every test.
BUILD ?= build
JOBS ?= $(shell nproc)
URL ?=

.PHONY: all deps configure build run test bench clean

all: build

deps:
	@bash tools/install-deps.sh

$(BUILD)/build.ninja: CMakeLists.txt
	@$(MAKE) --no-print-directory deps
	cmake -S . -B $(BUILD) -G Ninja

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash tools/run.sh $(BUILD) $(URL)

test: build
	@bash tools/test.sh $(BUILD)

bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBRA_BUILD_BENCH=ON -DNIMBRA_BUILD_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-bench
