# Nimbra Browser: `make run` starts the browser, `make test` runs every test,
# `make install` installs (PREFIX, DESTDIR), `make deb` builds the Debian package.
BUILD ?= build
JOBS ?= $(shell nproc)
URL ?=
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps configure build run test bench install deb clean

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

# make install PREFIX=/usr DESTDIR=/tmp/stage
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian package, in $(BUILD)/.
deb: build
	cd $(BUILD) && cpack -G DEB

bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBRA_BUILD_BENCH=ON -DNIMBRA_BUILD_TESTS=OFF
	cmake --build $(BUILD)-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-bench
