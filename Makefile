# zebcfg: build, test and demo entry points. Each target first installs the
# Debian packages it lacks (scripts/install-deps.sh), so a fresh machine needs
# nothing but this tree and apt.
#
#   make build   native build in build/native, Windows build in build/win
#   make test    both builds, the unit tests, then the end-to-end tests
#                natively and under Wine
#   make demo    native zebcfg and zebreg, a store in ./demo-root, a sample
#                session

NATIVE_DIR := build/native
WIN_DIR    := build/win
JOBS       ?= 2
PYTHON     := /usr/bin/python3
PYTEST_ARGS ?=

.PHONY: all build native win deps test unit e2e demo clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@$(MAKE) --no-print-directory native win

native:
	cmake -S . -B $(NATIVE_DIR)
	cmake --build $(NATIVE_DIR) -j $(JOBS)

win:
	cmake -S . -B $(WIN_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	cmake --build $(WIN_DIR) -j $(JOBS)

test: build
	@$(MAKE) --no-print-directory unit e2e

unit:
	$(NATIVE_DIR)/zebcfg_unit

e2e:
	ZEBCFG_NATIVE_DIR=$(CURDIR)/$(NATIVE_DIR) ZEBCFG_WIN_DIR=$(CURDIR)/$(WIN_DIR) \
	  $(PYTHON) -m pytest tests/e2e $(PYTEST_ARGS)

demo: deps
	cmake -S . -B $(NATIVE_DIR)
	cmake --build $(NATIVE_DIR) -j $(JOBS) --target zebcfg zebreg zebinstall
	@scripts/demo.sh

clean:
	rm -rf $(NATIVE_DIR) $(WIN_DIR) demo-root
