# The two commands a newcomer needs:
#   make check  - install what the build needs, configure, build and run every test
#   make demo   - the same set-up, then run the ticker against the demo quote server
# Everything else is a thin wrapper over the CMake presets (dev, release, asan, tsan, fuzz).

PRESET ?= dev
BUILD  := build/$(PRESET)
JOBS   ?= $(shell nproc)

.PHONY: check demo deps configure build test package asan tsan fuzz fuzz-run bench format format-check clean

check: deps build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: deps build
	./tools/demo.sh $(BUILD)

deps:
	@./tools/install-deps.sh

configure:
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The Debian package, then lintian's verdict on it.
package: deps build
	cd $(BUILD) && cpack -G DEB
	lintian $(BUILD)/kestrel_*.deb

asan:
	$(MAKE) test PRESET=asan

tsan:
	$(MAKE) test PRESET=tsan

FUZZ_TARGETS := fuzz_parser fuzz_settings
FUZZ_SECONDS ?= 300

fuzz: deps
	$(MAKE) configure PRESET=fuzz
	cmake --build build/fuzz -j $(JOBS) --target $(FUZZ_TARGETS)

# Each target for FUZZ_SECONDS; findings land in build/fuzz/findings/.
fuzz-run: fuzz
	./fuzz/run.sh build/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

bench: deps
	$(MAKE) build PRESET=dev
	./tools/run-bench.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# clang-format on the files changed against origin/main, or all of them when that is unknown;
# and every include of src/ and apps/ as the README's table of libraries allows.
format-check:
	./tools/format-check.sh
	./tools/include-check.sh

clean:
	rm -rf build
