# make run       - install what is missing, build, start Tallymere
# make test      - install what is missing, build, run every test
# make test-asan - the same tests in a build with AddressSanitizer and
#                  UndefinedBehaviorSanitizer; any report fails
# make fuzz      - build the libFuzzer targets (clang) and run each for
#                  FUZZ_SECONDS seconds from its seeds in tests/fuzz/
# make bench     - install what is missing, build, run the benchmarks (the
#                  loan list and search ones also on a throwaway PostgreSQL 15
#                  cluster when installed; TALLYMERE_BENCH_SIZES=1000,10000
#                  runs them at smaller sizes)
# make package   - install what is missing, build, make the Debian package
BUILD ?= build
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= 2
# CI (which sets CI=true) fails on any compiler warning of the program's
# build and the fuzz build; the sanitizer build is left out until it has
# been seen to build cleanly with them.
WERROR := -DTALLYMERE_WERROR=$(if $(CI),ON,OFF)
PACKAGES := $(shell grep -v '^\s*\#' packages.txt | grep -v '^\s*$$')
FUZZERS := fuzz_criterion fuzz_fines fuzz_csv fuzz_mdb

.PHONY: all deps build run test test-asan fuzz bench includes package clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" -eq 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/app/tallymere

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

# The benchmarks and the screenshots tool are left out: they are not tests.
$(BUILD_ASAN)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
	  -DTALLYMERE_SANITIZE=ON -DTALLYMERE_BENCH=OFF -DTALLYMERE_TOOLS=OFF

test-asan: deps $(BUILD_ASAN)/build.ninja
	cmake --build $(BUILD_ASAN) -j$(JOBS)
	cd $(BUILD_ASAN) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

$(BUILD_FUZZ)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DTALLYMERE_FUZZ=ON $(WERROR)

# Each target runs from its committed seeds; what it finds on the way is
# kept in $(BUILD_FUZZ)/corpus, and a crashing input in $(BUILD_FUZZ)/crashes.
# libmdb warns on stderr about every damaged page it meets: the Jet reader's
# stderr is closed (libFuzzer keeps its own reports).
fuzz: deps $(BUILD_FUZZ)/build.ninja
	cmake --build $(BUILD_FUZZ) -j$(JOBS)
	@mkdir -p $(BUILD_FUZZ)/crashes
	@set -e; for f in $(FUZZERS); do \
	  mkdir -p $(BUILD_FUZZ)/corpus/$$f; \
	  echo "== $$f for $(FUZZ_SECONDS) s"; \
	  quiet=""; [ $$f != fuzz_mdb ] || quiet=-close_fd_mask=2; \
	  ./$(BUILD_FUZZ)/tests/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 $$quiet \
	    -print_final_stats=1 -artifact_prefix=$(BUILD_FUZZ)/crashes/$$f- \
	    $(BUILD_FUZZ)/corpus/$$f tests/fuzz/corpus/$$f; \
	done

bench: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_startup
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_loanlist
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_find
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_search
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_preview
	QT_QPA_PLATFORM=offscreen $(BUILD)/bench/bench_pdf
	$(BUILD)/bench/bench_stall
	$(BUILD)/bench/bench_history
	$(BUILD)/bench/bench_admin
	$(BUILD)/bench/bench_loansout

# The includes between the folders (and the store's rooms), for Graphviz:
# build/includes.dot, and build/includes.svg where dot is installed.
includes:
	mkdir -p $(BUILD)
	cmake -DROOT=$(CURDIR) -DDOT=$(BUILD)/includes.dot -P tools/includes.cmake
	if command -v dot >/dev/null; then dot -Tsvg $(BUILD)/includes.dot -o $(BUILD)/includes.svg; fi

package: build
	cd $(BUILD) && cpack

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ)
