# Stickwell: `make run` runs the program on the bundled defaults, `make test` builds and runs
# every test. Both install what is missing first.
BUILD     ?= build
JOBS      ?= $(shell nproc)
WERROR    ?= OFF
SANITIZE  ?=
BUILDTYPE ?= RelWithDebInfo
CMAKEFLAGS = -DCMAKE_BUILD_TYPE=$(BUILDTYPE) -DSTICKWELL_WERROR=$(WERROR) -DSTICKWELL_SANITIZE=$(SANITIZE)

.PHONY: all deps configure build test run install fuzz fuzz-build fuzz-gate sanitize tsan bench bench-build clean

all: build

deps:
	@scripts/install-deps

# Configured on every run, so that the flags of this call (WERROR=ON after a plain build, say)
# are the ones the build uses.
configure: deps
	cmake -S . -B $(BUILD) $(CMAKEFLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The fuzz targets' kept inputs are replayed as tests of this build (label "gate"); the libFuzzer
# build below is for CI and for exploring.
test: build
	ctest --test-dir $(BUILD) --no-tests=error --output-on-failure -j$(JOBS)

# The libFuzzer targets (built with clang in $(BUILD)-fuzz). fuzz-gate replays each target's seed
# corpus and kept crashers once under libFuzzer with its sanitizers: the same commit passes or
# fails the same way every time, and CI runs it. fuzz explores at random for FUZZ_SECONDS a
# target, from the same seeds; an input it finds goes to $(BUILD)-fuzz/fuzz-work/, and once its
# fault is mended, into fuzz/crashers/<target>/.
FUZZ_SECONDS ?= 20
fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTICKWELL_FUZZ=ON \
	  -DSTICKWELL_WERROR=$(WERROR) -DSTICKWELL_FUZZ_SECONDS=$(FUZZ_SECONDS)
	cmake --build $(BUILD)-fuzz -j$(JOBS) --target fuzzers

fuzz-gate: fuzz-build
	ctest --test-dir $(BUILD)-fuzz --no-tests=error --output-on-failure -j$(JOBS) -L '^gate$$'

fuzz: fuzz-build
	ctest --test-dir $(BUILD)-fuzz --no-tests=error --output-on-failure -L '^explore$$'

# The whole test suite under the address and undefined-behaviour sanitizers.
sanitize:
	$(MAKE) --no-print-directory BUILD=$(BUILD)-asan SANITIZE=address,undefined BUILDTYPE=Debug build
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir $(BUILD)-asan --no-tests=error --output-on-failure -j$(JOBS)

# The threaded tests (storage, resources, the picture-cache thread) under the thread sanitizer;
# only their programs are built. (The memory-mapped stream is left out: its refusal tests reserve
# more address space than the sanitizer's allocator allows.)
TSAN_TESTS = test_storage test_resource test_resource_thread test_bitmap_resource test_pdf_printer
tsan: deps
	cmake -S . -B $(BUILD)-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTICKWELL_SANITIZE=thread -DSTICKWELL_WERROR=$(WERROR)
	cmake --build $(BUILD)-tsan -j$(JOBS) --target $(TSAN_TESTS)
	TSAN_OPTIONS=halt_on_error=1 ctest --test-dir $(BUILD)-tsan --no-tests=error --output-on-failure -j$(JOBS) \
	  -L '^($(subst $(eval) ,|,$(TSAN_TESTS)))$$'

bench-build: build
	cmake --build $(BUILD) -j$(JOBS) --target benchmarks

bench: bench-build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

# The designer; ARGS=extra shows the template tab. Without a display the batch tool makes a design
# from a bundled template and prints it to PDF instead.
CLI = $(BUILD)/tools/stickwell-cli
RUN_DIR = $(BUILD)/run
RUN_TEMPLATE = $(BUILD)/templates/Round_Magnet_50mm.fmt
run: build
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
	  echo "Starting the designer: $(BUILD)/app/stickwell $(ARGS)"; \
	  $(BUILD)/app/stickwell $(ARGS); \
	else \
	  echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): the designer needs one."; \
	  echo "Making a magnet from the bundled template $(RUN_TEMPLATE) with the batch tool instead."; \
	  mkdir -p $(RUN_DIR) && \
	  $(CLI) magnet design $(RUN_TEMPLATE) $(RUN_DIR)/design.fmd --message "Hello fridge" --size 24 --bold \
	    --text-colour "#C02020" --colour "#FFF4D0" && \
	  $(CLI) magnet info $(RUN_DIR)/design.fmd && \
	  $(CLI) print $(RUN_DIR)/design.fmd $(RUN_DIR)/design.pdf --paper 56x56 --dpi 300 && \
	  $(CLI) magnet print $(RUN_DIR)/design.fmd $(RUN_DIR)/sheet.pdf && \
	  echo && \
	  echo "The design:               $(RUN_DIR)/design.fmd" && \
	  echo "  as a PDF:               $(RUN_DIR)/design.pdf" && \
	  echo "Its sheet as printed:     $(RUN_DIR)/sheet.pdf"; \
	fi

# Installs the designer, its templates, desktop entry, icon and MIME types (PREFIX=/usr/local).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(BUILD)-fuzz $(BUILD)-asan $(BUILD)-tsan
