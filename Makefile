# Stickwell: `make run` runs the program on the bundled defaults, `make test` builds and runs
# every test. Both install what is missing first.
BUILD     ?= build
JOBS      ?= $(shell nproc)
WERROR    ?= OFF
SANITIZE  ?=
BUILDTYPE ?= RelWithDebInfo
CMAKEFLAGS = -DCMAKE_BUILD_TYPE=$(BUILDTYPE) -DSTICKWELL_WERROR=$(WERROR) -DSTICKWELL_SANITIZE=$(SANITIZE)

.PHONY: all deps configure build test run fuzz sanitize tsan bench clean

all: build

deps:
	@scripts/install-deps

# Configured on every run, so that the flags of this call (WERROR=ON after a plain build, say)
# are the ones the build uses.
configure: deps
	cmake -S . -B $(BUILD) $(CMAKEFLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD) --no-tests=error --output-on-failure -j$(JOBS)
	@if command -v clang++ >/dev/null 2>&1; then $(MAKE) --no-print-directory fuzz; \
	 else echo "clang not found: fuzz targets skipped"; fi

# The libFuzzer targets, each run for a few seconds over its seed corpus.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTICKWELL_FUZZ=ON -DSTICKWELL_WERROR=$(WERROR)
	cmake --build $(BUILD)-fuzz -j$(JOBS)
	ctest --test-dir $(BUILD)-fuzz --no-tests=error --output-on-failure

# The whole test suite under the address and undefined-behaviour sanitizers.
sanitize:
	$(MAKE) --no-print-directory BUILD=$(BUILD)-asan SANITIZE=address,undefined BUILDTYPE=Debug build
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir $(BUILD)-asan --no-tests=error --output-on-failure -j$(JOBS)

# The threaded tests (storage, resources, the picture-cache thread) under the thread sanitizer;
# only their programs are built. (The memory-mapped stream is left out: its refusal tests reserve
# more address space than the sanitizer's allocator allows.)
TSAN_TESTS = test_storage test_resource test_resource_thread test_bitmap_resource
tsan: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTICKWELL_SANITIZE=thread -DSTICKWELL_WERROR=$(WERROR)
	cmake --build $(BUILD)-tsan -j$(JOBS) --target $(TSAN_TESTS)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(BUILD)-tsan --no-tests=error --output-on-failure -j$(JOBS) \
	  -L '^($(subst $(eval) ,|,$(TSAN_TESTS)))$$'

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

SAMPLE = $(BUILD)/samples/sample.fmd
run: build
	samples/make-samples.sh $(BUILD)/tools/stickwell-cli $(BUILD)/samples
	$(BUILD)/tools/stickwell-cli doc info $(SAMPLE)
	$(BUILD)/tools/stickwell-cli render $(SAMPLE) $(BUILD)/samples/sample-page1.png --dpi 300
	$(BUILD)/tools/stickwell-cli print $(SAMPLE) $(BUILD)/samples/sample.pdf --dpi 300
	$(BUILD)/tools/stickwell-cli print $(SAMPLE) $(BUILD)/samples/sample-sheet.png --dpi 150
	@echo
	@echo "The sample design $(SAMPLE):"
	@echo "  its first page rendered:   $(BUILD)/samples/sample-page1.png"
	@echo "  printed on A4 sheets:      $(BUILD)/samples/sample.pdf"
	@echo "                             $(BUILD)/samples/sample-sheet-1.png, sample-sheet-2.png"

clean:
	rm -rf $(BUILD) $(BUILD)-fuzz $(BUILD)-asan $(BUILD)-tsan
