# Quick start on a bare machine: ./setup.sh run and ./setup.sh test (they install make too).
#
#   make run         build the program, install it into PROGRAM_DIR and start it
#   make install     the same without starting it
#   make uninstall   remove the program and its menu entry; the data in PROGRAM_DIR stays
#   make test        build everything and run every test
#   make bench       build and run the benchmarks
#   make bench-startup  time the real program's start-up on 10,000 to 1,000,000 patients
#   make clean       delete the build folder (never the program folder)
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

.PHONY: deps configure program build install run uninstall test bench bench-startup clean

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_OPTIONS)

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

clean:
	rm -rf $(BUILD_DIR)
