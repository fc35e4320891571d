# zebcfg: build, test and demo entry points. Each target first installs the
# Debian packages it lacks (scripts/install-deps.sh), so a fresh machine needs
# nothing but this tree and apt.
#
#   make build   native build in build/native, Windows build in build/win
#   make package both builds, then build/package/: a Debian package of the
#                native build and a zip of the Windows build
#   make test    both builds and packages, the unit tests, then the
#                end-to-end tests natively and under Wine
#   make demo    native zebcfg, zebreg and zebinstall (only the packages the
#                native build needs), a store in ./demo-root, a sample session

NATIVE_DIR := build/native
WIN_DIR    := build/win
JOBS       ?= 2
PYTHON     := /usr/bin/python3
PYTEST_ARGS ?=

.PHONY: all build native win deps demo-deps package test unit e2e demo clean

all: build

deps:
	@scripts/install-deps.sh

demo-deps:
	@scripts/install-deps.sh demo

build: deps
	@$(MAKE) --no-print-directory native win

native:
	cmake -S . -B $(NATIVE_DIR)
	cmake --build $(NATIVE_DIR) -j $(JOBS)

win:
	cmake -S . -B $(WIN_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	cmake --build $(WIN_DIR) -j $(JOBS)

package: build
	@scripts/package.sh

test: build
	@scripts/package.sh >/dev/null
	@$(MAKE) --no-print-directory unit e2e

unit:
	$(NATIVE_DIR)/zebcfg_unit

e2e:
	ZEBCFG_NATIVE_DIR=$(CURDIR)/$(NATIVE_DIR) ZEBCFG_WIN_DIR=$(CURDIR)/$(WIN_DIR) \
	  $(PYTHON) -m pytest tests/e2e $(PYTEST_ARGS)

demo: demo-deps
	cmake -S . -B $(NATIVE_DIR)
	cmake --build $(NATIVE_DIR) -j $(JOBS) --target zebcfg zebreg zebinstall
	@scripts/demo.sh

clean:
	rm -rf $(NATIVE_DIR) $(WIN_DIR) build/package demo-root
