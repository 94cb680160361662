# Thin wrapper around CMake. BUILD picks the build folder.
BUILD ?= build
ARGS ?= 49 6 6 3
CMAKE_FLAGS ?=

.PHONY: all run test bench accept clean

all: $(BUILD)/Makefile
	cmake --build $(BUILD) -j 2

$(BUILD)/Makefile:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

# Builds only the tool itself, so the menu comes up without the tests being compiled.
run: $(BUILD)/Makefile
	cmake --build $(BUILD) -j 2 --target vorlank
	$(BUILD)/vorlank $(ARGS)

test: all
	cd $(BUILD) && ctest -j 2 --output-on-failure

# Write the actual output of the named cases as their expected output:
#   make accept CASES="menu_blank greedy_7_3_3_2"
accept: all
	python3 tests/transcript.py --bin-dir $(BUILD) --accept $(CASES)

bench:
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORLANK_BENCH=ON
	cmake --build build-bench -j 2 --target vorlank vorlank-check vorlank-design greedy_bench sample_bench
	python3 bench/run.py --bin-dir build-bench

clean:
	rm -rf $(BUILD) build-bench build-asan build-tsan
