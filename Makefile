# Brimble Zephra: a thin layer over CMake + Ninja.
#   make run    install what is missing, build, run the main job
#   make test   install what is missing, build, run every test

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
BENCH_BUILD ?= build-bench
# Medians of five repetitions; the table of ratios comes from the same run.
BENCH_ARGS ?= --benchmark_repetitions=5 --benchmark_display_aggregates_only=true
FUZZ_SECONDS ?= 300
FUZZ_TARGETS = fuzz_archive fuzz_config fuzz_registry
WERROR     ?= OFF
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)

# Debian packages the build and the tests need.
PACKAGES = cmake ninja-build g++ make libgtest-dev libgmock-dev
BENCH_PACKAGES = libbenchmark-dev valgrind
FUZZ_PACKAGES = clang libclang-rt-14-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps deps-fuzz deps-bench build test run sanitize fuzz bench clean help format

all: build

help:
	@echo "make run       install missing packages, build, run the main job"
	@echo "make test      install missing packages, build, run every test"
	@echo "make build     configure and build into $(BUILD)/"
	@echo "make sanitize  build the non-UI tests with ASan+UBSan into $(ASAN_BUILD)/ and run them"
	@echo "make fuzz      build the libFuzzer targets with clang into $(FUZZ_BUILD)/ and run each for FUZZ_SECONDS (300)"
	@echo "make bench     build the benchmarks (Release) into $(BENCH_BUILD)/, run them, print the ratio table"
	@echo "make format    clang-format every C++ file in place"
	@echo "make clean     remove the build folders"

# Installs only what is missing, so a prepared machine never touches the network.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

deps:
	$(call install_missing,$(PACKAGES))

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DZEPHRA_WERROR=$(WERROR) $(CMAKE_ARGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Registers the built component in the user's registry (again is harmless), then prints the
# sample widget's HTML block as the component writes it.
run: build
	@$(BUILD)/bin/zephra register
	@echo "Registered $(BUILD)/bin/PlaquetZephra.so. HTML of data/sample/Sample.wgt:" >&2
	@$(BUILD)/bin/zephra html data/sample/Sample.wgt

sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEPHRA_SANITIZE=ON -DZEPHRA_WERROR=$(WERROR) $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L nonui

deps-fuzz:
	$(call install_missing,$(PACKAGES) $(FUZZ_PACKAGES))

# Each target starts from the checked-in seeds in fuzz/corpus/<name without fuzz_> and keeps what it learns in
# $(FUZZ_BUILD)/corpus/<target>; crashing inputs land in $(FUZZ_BUILD)/artifacts/<target>/.
fuzz: deps-fuzz
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DZEPHRA_FUZZ=ON $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@set -e; for t in $(FUZZ_TARGETS); do \
	  [ -x $(FUZZ_BUILD)/bin/$$t ] || { echo "$$t: not built"; continue; }; \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t $(FUZZ_BUILD)/artifacts/$$t; \
	  echo "== $$t for $(FUZZ_SECONDS) s"; \
	  ASAN_OPTIONS=detect_leaks=1 $(FUZZ_BUILD)/bin/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=20 \
	    -rss_limit_mb=4096 -max_len=65536 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t/ $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$${t#fuzz_}; \
	done

deps-bench:
	$(call install_missing,$(PACKAGES) $(BENCH_PACKAGES))

# Runs every benchmark, then prints the Markdown table of ratios to their baselines ("Performance"
# in README.md). BENCH_ARGS passes Google Benchmark flags, e.g. BENCH_ARGS=--benchmark_filter=Markup;
# bench/instructions.sh counts instructions instead of time.
bench: deps-bench
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DZEPHRA_BENCH=ON -DZEPHRA_WERROR=$(WERROR) $(CMAKE_ARGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target bench_model
	$(BENCH_BUILD)/bin/bench_model $(BENCH_ARGS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
