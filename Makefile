# Thin wrapper around CMake. BUILD picks the build folder.
BUILD ?= build
ARGS ?= 49 6 6 3
CMAKE_FLAGS ?=

.PHONY: all run test bench accept clean deps

# Debian packages the build uses, installed when missing. Without them the build goes on:
# vorlank-design then runs without its exact solver and says so under --help.
DEB_PACKAGES ?= pkg-config coinor-libcbc-dev

all: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j 2

deps:
	@command -v dpkg-query >/dev/null || exit 0; missing=; \
	for p in $(DEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	[ -z "$$missing" ] && exit 0; echo "Installing$$missing"; \
	sudo=; [ "$$(id -u)" = 0 ] || sudo=sudo; \
	{ $$sudo apt-get update -qq && \
	  $$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; } || \
	  echo "warning: could not install$$missing; building without"

$(BUILD)/Makefile: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

# Builds only the tool itself, so the menu comes up without the tests being compiled.
run: deps $(BUILD)/Makefile
	cmake --build $(BUILD) -j 2 --target vorlank
	$(BUILD)/vorlank $(ARGS)

test: all
	cd $(BUILD) && ctest -j 2 --output-on-failure

# Write the actual output of the named cases as their expected output:
#   make accept CASES="menu_blank greedy_7_3_3_2"
accept: all
	python3 tests/transcript.py --bin-dir $(BUILD) --accept $(CASES)

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORLANK_BENCH=ON
	cmake --build build-bench -j 2 --target vorlank vorlank-check vorlank-design greedy_bench sample_bench
	python3 bench/run.py --bin-dir build-bench

clean:
	rm -rf $(BUILD) build-bench build-asan build-tsan
