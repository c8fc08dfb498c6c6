# Set-up and entry points for a fresh Debian 12 machine.
#   make run   - install what is missing, build, open the demo image in the application
#                (without a display: the command-line demo and an offscreen screenshot)
#   make test  - install what is missing, build with -Werror and sanitizers, run every test
#   make bench - Release build of the benchmarks, then run them
#   make fuzz  - clang build of the fuzz targets, seeds from the engine, each run FUZZ_SECONDS
#                (the CI runs it after the tests)

PACKAGES := g++ cmake ninja-build pkg-config libicu-dev libgtest-dev libgmock-dev \
            libbenchmark-dev libcli11-dev nlohmann-json3-dev mtools dosfstools xfsprogs \
            qt6-base-dev qt6-translations-l10n libqt6svg6 fonts-noto-cjk adwaita-icon-theme xvfb xauth desktop-file-utils \
            gettext locales libc-l10n help2man bash-completion
# libFuzzer comes with clang's runtime libraries.
FUZZ_PACKAGES := clang-14 libclang-rt-14-dev
FUZZ_SECONDS ?= 20
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

CONFIGURE_CI := cmake -S . -B build/ci -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTAMBERLANE_WERROR=ON -DTAMBERLANE_SANITIZE=ON -DTAMBERLANE_BUILD_TESTS=ON

.PHONY: deps run test bench fuzz build-ci build-release clean

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -q && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -q $$missing; \
	fi

build-release: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTAMBERLANE_BUILD_TESTS=OFF
	cmake --build build/release -j $(JOBS)

run: build-release
	cmake --build build/release --target demo_image
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  ./build/release/tamberlane build/release/demo.img; \
	else \
	  echo "No display: showing the command-line demo and writing build/release/screenshot.png"; \
	  ./build/release/tamberlane-cli info build/release/demo.img; echo; \
	  ./build/release/tamberlane-cli ls -l -R build/release/demo.img; \
	  QT_QPA_PLATFORM=offscreen ./build/release/tamberlane-screenshots build/release/demo.img build/release; \
	fi

build-ci: deps
	$(CONFIGURE_CI)
	cmake --build build/ci -j $(JOBS)

test: build-ci
	cd build/ci && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  -DTAMBERLANE_BUILD_TESTS=OFF -DTAMBERLANE_BUILD_BENCH=ON
	cmake --build build/bench -j $(JOBS)
	for b in build/bench/bench_*; do $$b; done

fuzz: PACKAGES += $(FUZZ_PACKAGES)
fuzz: deps
	$(CONFIGURE_CI)
	cmake --build build/ci --target make_seeds -j $(JOBS)
	CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=None \
	  -DCMAKE_CXX_FLAGS="-O1" -DTAMBERLANE_BUILD_TESTS=OFF -DTAMBERLANE_BUILD_FUZZ=ON
	cmake --build build/fuzz --target fuzz_targets -j $(JOBS)
	rm -rf build/fuzz/corpus build/fuzz/finding-* && build/ci/make_seeds build/fuzz/corpus
	tools/run-fuzz.sh build/fuzz $(FUZZ_SECONDS) $(JOBS)

clean:
	rm -rf build
