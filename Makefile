# Thin wrapper around CMake. BUILD picks the build folder.
BUILD ?= build
ARGS ?= 49 6 6 3
CMAKE_FLAGS ?=
# Where make install puts bin/ and share/man/ (DESTDIR=... stages it elsewhere).
PREFIX ?= /usr/local

.PHONY: all run test bench accept clean deps install uninstall package

# Debian packages the build uses, installed when missing. Without them the build goes on:
# vorlank-design then runs without its exact solver and says so under --help. groff-base
# renders the manual pages in the tests; dpkg-dev (dpkg-shlibdeps) and file let make
# package find the libraries the programs need.
DEB_PACKAGES ?= pkg-config coinor-libcbc-dev groff-base dpkg-dev file parallel

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

# The three programs in $(PREFIX)/bin, their manual pages in $(PREFIX)/share/man/man1.
install: all
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# Removes what the last make install put in place.
uninstall:
	@[ -f $(BUILD)/install_manifest.txt ] || { echo "nothing installed from $(BUILD)"; exit 0; }; \
	while read -r f || [ -n "$$f" ]; do rm -fv "$$f"; done < $(BUILD)/install_manifest.txt

# A Debian package of the same files under /usr: $(BUILD)/vorlank_VERSION_ARCH.deb.
package: all
	cd $(BUILD) && cpack -G DEB
	@deb=$$(ls -t $(BUILD)/vorlank_*.deb | head -1); echo "$$deb:"; \
	dpkg-deb -I $$deb control && dpkg-deb -c $$deb

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVORLANK_BENCH=ON
	cmake --build build-bench -j 2 --target vorlank vorlank-check vorlank-design greedy_bench sample_bench
	python3 bench/run.py --bin-dir build-bench

clean:
	rm -rf $(BUILD) build-bench build-asan build-tsan
