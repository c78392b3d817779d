# make run     - install what is missing, build, start Tallymere
# make test    - install what is missing, build, run every test
# make bench   - install what is missing, build, run the benchmarks
# make package - install what is missing, build, make the Debian package
BUILD ?= build
PACKAGES := $(shell grep -v '^\s*\#' packages.txt | grep -v '^\s*$$')

.PHONY: all deps build run test bench package clean

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
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

run: build
	./$(BUILD)/tallymere

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure

bench: build
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/bench/bench_startup
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/bench/bench_loanlist
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/bench/bench_find
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/bench/bench_search
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/bench/bench_preview
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/bench/bench_pdf
	./$(BUILD)/bench/bench_admin

package: build
	cd $(BUILD) && cpack

clean:
	rm -rf $(BUILD)
