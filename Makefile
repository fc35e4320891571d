# zebcfg: build, test and demo entry points. Each target first installs the
# Debian packages it lacks (scripts/install-deps.sh), so a fresh machine needs
# nothing but this tree and apt.
#
#   make build   native build in build/native, Windows build in build/win
#   make package both builds, then build/package/: a Debian package of the
#                native build, a zip and an MSI of the Windows build
#                (PACKAGE_VERSION=X.Y.Z stamps another version on all;
#                SIGN_CERT and SIGN_KEY sign every PE file and the MSI,
#                time-stamped by SIGN_TSA_URL, or by SIGN_TSA_CERT and
#                SIGN_TSA_KEY as a local authority; SIGN_CA verifies them;
#                see scripts/package.sh)
#   make test    both builds and packages, the layer check, the unit tests,
#                then the end-to-end tests natively and under Wine
#   make demo    native zebcfg, zebreg and zebinstall (only the packages the
#                native build needs), a store in ./demo-root, a sample session
#   make sanitize  unit and native end-to-end tests under ASan and UBSan
#   make fuzz      the libFuzzer harnesses, FUZZ_SECONDS (30) each

NATIVE_DIR   := build/native
WIN_DIR      := build/win
SANITIZE_DIR := build/sanitize
FUZZ_DIR     := build/fuzz
FUZZ_SECONDS ?= 30
JOBS         ?= 2
PYTHON       := /usr/bin/python3
PYTEST_ARGS  ?=

.PHONY: all build native win deps demo-deps package test layers unit e2e \
        sanitize fuzz demo clean

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
	@$(MAKE) --no-print-directory layers unit e2e

# The folders of src/ include one another downward only, and tools include
# what the check names for them; the check first proves itself on planted
# faults.
layers:
	$(PYTHON) scripts/check-layers.py --self-test
	$(PYTHON) scripts/check-layers.py

unit:
	$(NATIVE_DIR)/zebcfg_unit

e2e:
	ZEBCFG_NATIVE_DIR=$(CURDIR)/$(NATIVE_DIR) ZEBCFG_WIN_DIR=$(CURDIR)/$(WIN_DIR) \
	  $(PYTHON) -m pytest tests/e2e $(PYTEST_ARGS)

# The unit tests and the native end-to-end tests against an ASan and UBSan
# build; any sanitizer report fails the run. Built with clang, whose combined
# runtime writes UBSan's reports to the log files as well.
sanitize: deps
	CC=clang CXX=clang++ cmake -S . -B $(SANITIZE_DIR) -DZEB_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS) --target zebcfg zebreg zebinstall zebstate zebprobe zebcfg_unit
	scripts/sanitize.sh $(SANITIZE_DIR) $(PYTEST_ARGS)

# Each libFuzzer harness of tests/fuzz for FUZZ_SECONDS seconds, from its
# committed corpus; a crash, leak or sanitizer report fails the run.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DZEB_FUZZ=ON
	cmake --build $(FUZZ_DIR) -j $(JOBS)
	scripts/fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

demo: demo-deps
	cmake -S . -B $(NATIVE_DIR)
	cmake --build $(NATIVE_DIR) -j $(JOBS) --target zebcfg zebreg zebinstall
	@scripts/demo.sh

clean:
	rm -rf $(NATIVE_DIR) $(WIN_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) build/package \
	  build/win-newer demo-root
