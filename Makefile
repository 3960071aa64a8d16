# Brimble Zephra: a thin layer over CMake + Ninja.
#   make run    install what is missing, build, run the main job
#   make test   install what is missing, build, run every test

BUILD      ?= build
ASAN_BUILD ?= build-asan
WERROR     ?= OFF
CMAKE_ARGS ?=
JOBS       ?= $(shell nproc)

# Debian packages the build and the tests need.
PACKAGES = cmake ninja-build g++ make libgtest-dev libgmock-dev
BENCH_PACKAGES = libbenchmark-dev valgrind
FUZZ_PACKAGES = clang libclang-rt-14-dev

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build test run sanitize clean help format

all: build

help:
	@echo "make run       install missing packages, build, run the main job"
	@echo "make test      install missing packages, build, run every test"
	@echo "make build     configure and build into $(BUILD)/"
	@echo "make sanitize  build the non-UI tests with ASan+UBSan into $(ASAN_BUILD)/ and run them"
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

run: build
	@echo "Built components:"
	@ls -1 $(BUILD)/bin

sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEPHRA_SANITIZE=ON -DZEPHRA_WERROR=$(WERROR) $(CMAKE_ARGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L nonui

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
