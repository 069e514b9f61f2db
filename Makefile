# make demo   set up, build and run the main job on the embedded sample
# make check  set up, build and run every test (the windows under a virtual display)
# make desktop  set up, build, and open the host window on the demo home with the add-in
# make screenshots  a PNG of every dialog and of the host window in build/screenshots
# make fuzz   build the fuzz targets (clang-16) and run each for FUZZ_SECONDS seconds
BUILD ?= build
SANITIZE ?= OFF
WERROR ?= ON
JOBS ?= $(shell nproc)
PREFIX ?= $(HOME)/.local
# What the demo runs and what `make install` puts in place (with the dialog program that
# `varno dialog` starts); `make check` builds everything. The add-in module, the host's
# add-in manager and the help book go with the host.
PROGRAMS ?= varno datebook-desktop regsvr VARNOAddIn datebook_addin_manager varno_help
INSTALL_PROGRAMS ?= $(PROGRAMS) varno-dialog
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60

CMAKE_FLAGS = -G Ninja -DVARNO_SANITIZE=$(SANITIZE) -DVARNO_WERROR=$(WERROR) \
              -DVARNO_BENCH=$(if $(filter ON,$(SANITIZE)),OFF,ON)

.PHONY: all setup configure build programs demo desktop check bench screenshots install fuzz format clean

all: build

setup:
	@scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: setup $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

programs: configure
	cmake --build $(BUILD) -j $(JOBS) --target $(PROGRAMS)

demo: programs
	@scripts/demo.sh $(BUILD)

desktop: programs
	@scripts/desktop.sh $(BUILD)

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

screenshots: build
	cmake --build $(BUILD) --target screenshots

bench: build
	$(BUILD)/bench/varno_bench

# The programs, the man page and the bash completion under PREFIX (default ~/.local).
install: configure
	cmake --build $(BUILD) -j $(JOBS) --target $(INSTALL_PROGRAMS)
	cmake --install $(BUILD) --prefix $(PREFIX)

fuzz: setup
	JOBS=$(JOBS) scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
