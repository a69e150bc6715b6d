# Quick start on a bare machine: ./setup.sh run and ./setup.sh test (they install the packages,
# make among them). The targets below install nothing: `make deps` does, once.
#
#   make deps        install the Debian packages that are missing (the quick start does this)
#   make deps-hardening  the same, with the packages of the sanitizer build and the format check
#   make run         build the program, install it into PROGRAM_DIR and start it
#   make install     the same without starting it
#   make uninstall   remove the program and its menu entry; the data in PROGRAM_DIR stays
#   make test        build everything and run every test
#   make bench       build and run the benchmarks
#   make bench-startup  time the real program's start-up on 10,000 to 1,000,000 patients
#   make clean       delete the build folders (never the program folder)
#   make hardening   build every test with clang's address and undefined-behaviour sanitizers
#                    in build-hardening/, run them, and run each fuzz target FUZZ_SECONDS (30)
#   make fuzz        only the fuzz targets, e.g. make fuzz FUZZ_SECONDS=3600 FUZZ_TARGETS=fuzz_rtf
#   make format      format every C++ file with .clang-format; make check-format only checks
#
# Variables: PROGRAM_DIR (default ~/Quorvane), BUILD_DIR, BUILD_TYPE, JOBS, and WERROR=ON to
# make warnings errors (CI does; Debug builds do by default).
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
PROGRAM_DIR ?= $(HOME)/Quorvane
JOBS ?= $(shell nproc)
WERROR ?=

CMAKE_OPTIONS := -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
ifneq ($(WERROR),)
CMAKE_OPTIONS += -DQUORVANE_WERROR=$(WERROR)
endif

# The sanitizer build: clang, so that the same build has the fuzz targets; -O1 without
# debug information beyond line numbers, to keep it quick. Any report fails the run.
HARDENING_DIR ?= build-hardening
FUZZ_SECONDS ?= 30
FUZZ_TARGETS ?=
SANITIZER_ENV := ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
    LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

.PHONY: deps deps-hardening configure program build install run uninstall test bench clean bench-startup \
    hardening-build hardening fuzz format check-format

deps:
	./scripts/install-deps.sh

deps-hardening:
	./scripts/install-deps.sh hardening

# Configures once; again only when the options given to make change (the build itself runs
# CMake again when a CMakeLists.txt changes).
configure:
	@if [ ! -f $(BUILD_DIR)/build.ninja ] || [ "$$(cat $(BUILD_DIR)/make-options 2>/dev/null)" != "$(CMAKE_OPTIONS)" ]; then \
	    echo cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_OPTIONS); \
	    cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_OPTIONS) && echo "$(CMAKE_OPTIONS)" > $(BUILD_DIR)/make-options; \
	fi

program: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target quorvane quorvane_icons

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

install: program
	./scripts/install-program.sh "$(BUILD_DIR)" "$(PROGRAM_DIR)"

run: install
	./scripts/start-program.sh "$(PROGRAM_DIR)"

uninstall:
	./scripts/uninstall-program.sh "$(PROGRAM_DIR)"

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD_DIR)/bench/quorvane_bench

bench-startup: build
	./bench/startup.sh "$(BUILD_DIR)"

hardening-build:
	@command -v clang++-14 >/dev/null || { echo "clang 14 is missing: make deps-hardening" >&2; exit 1; }
	@[ -f $(HARDENING_DIR)/build.ninja ] || cmake -S . -B $(HARDENING_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
	    -DCMAKE_BUILD_TYPE= "-DCMAKE_CXX_FLAGS=-O1 -gline-tables-only" -DQUORVANE_SANITIZE=ON -DQUORVANE_FUZZ=ON \
	    -DQUORVANE_WERROR=ON
	cmake --build $(HARDENING_DIR) -j $(JOBS)

hardening: hardening-build
	cd $(HARDENING_DIR) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)
	$(SANITIZER_ENV) ./scripts/fuzz.sh $(HARDENING_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz: hardening-build
	$(SANITIZER_ENV) ./scripts/fuzz.sh $(HARDENING_DIR) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

format:
	./scripts/check-format.sh --fix

check-format:
	./scripts/check-format.sh

clean:
	rm -rf $(BUILD_DIR) $(HARDENING_DIR)
