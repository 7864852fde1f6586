# Nimbra Browser: `make run` starts the browser, `make test` runs every test,
# `make install` installs (PREFIX, DESTDIR), `make deb` builds the Debian package,
# `make lintian` checks it.
# `make test-asan` runs every test built with AddressSanitizer and
# UndefinedBehaviorSanitizer; `make fuzz` runs each fuzz target FUZZ_SECONDS.
BUILD ?= build
JOBS ?= $(shell nproc)
URL ?=
PREFIX ?= /usr/local
DESTDIR ?=
FUZZ_SECONDS ?= 60

.PHONY: all deps configure build run test test-asan fuzz bench install deb lintian clean

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

# -O1 keeps the sanitized suite quick enough to run whole.
test-asan: deps
	cmake -S . -B $(BUILD)-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DNIMBRA_SANITIZE=ON
	cmake --build $(BUILD)-asan -j $(JOBS)
	@bash tools/test-asan.sh $(BUILD)-asan

# libFuzzer needs clang; the fuzz tree builds only the readers and the targets.
fuzz:
	@bash tools/install-deps.sh fuzz
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DNIMBRA_BUILD_FUZZ=ON -DNIMBRA_BUILD_TESTS=OFF
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzz_all
	@bash fuzz/run.sh $(BUILD)-fuzz $(FUZZ_SECONDS)

# make install PREFIX=/usr DESTDIR=/tmp/stage
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package and its debug symbols (.ddeb), in $(BUILD)/.
deb: build
	cd $(BUILD) && cpack -G DEB

# The package checked by lintian as a packager would (also part of `make test`).
lintian: build
	@bash tools/check-package.sh $(BUILD)

bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBRA_BUILD_BENCH=ON -DNIMBRA_BUILD_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-asan $(BUILD)-fuzz
