# make demo   set up, build and run the main job on the embedded sample
# make check  set up, build and run every test
BUILD ?= build
SANITIZE ?= OFF
WERROR ?= ON
JOBS ?= $(shell nproc)

CMAKE_FLAGS = -G Ninja -DVARNO_SANITIZE=$(SANITIZE) -DVARNO_WERROR=$(WERROR) \
              -DVARNO_BENCH=$(if $(filter ON,$(SANITIZE)),OFF,ON)

.PHONY: all setup configure build demo check bench format clean

all: build

setup:
	@scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

configure: setup $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bench/varno_bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
