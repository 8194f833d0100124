# Velvox Nexa — thin wrapper over CMake + Ninja.
#   make run        set up, build, start the app (headless without a display)
#   make test       set up, build, run every test through CTest
#   make bench      build and run the benchmarks
#   make test-asan  tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   make test-tsan  tests under ThreadSanitizer
#   make fuzz       libFuzzer runs of every parser target, FUZZ_SECONDS (60) each
#   make package    build the .deb (CPack) from the build tree
#   make clean      remove every build tree

JOBS ?= $(shell nproc)
CMAKE_COMMON = -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
LAUNCHER = $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build run test bench test-asan test-tsan fuzz clean format package

all: build

deps:
	@scripts/install-deps.sh

build/build.ninja: | deps
	cmake -S . -B build $(CMAKE_COMMON) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps build/build.ninja
	cmake --build build -j $(JOBS)

# Without a display the application's main job runs headless: a ten-minute party mix of the
# built-in tracks, recorded to the documents folder, with its transitions shown.
run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "No display: running a ten-minute party mix of the built-in tracks headless."; \
		./build/src/cli/velvox-cli party --minutes 10 $(ARGS); \
	else \
		./build/src/ui/velvox $(ARGS); \
	fi

# Under CI (CI=true) the sanitizer suites run too: a clean run of all three takes about
# half an hour on two cores, well inside CI's limit.
test: build
	cd build && ctest --output-on-failure -j $(JOBS) --timeout 600
ifeq ($(CI),true)
	$(MAKE) test-asan
	$(MAKE) test-tsan
endif

# The shell's start-up and frame rate with both decks playing (bench/ui-frames.py) run on
# the real application under xvfb-run.
# The soak (bench/soak-party.py) plays SOAK_MINUTES (480: eight hours) of party mix of the
# built-in tracks and checks memory, skipped buffers and beat offsets; about 7 minutes here.
SOAK_MINUTES ?= 480
bench: deps
	cmake -S . -B build-bench $(CMAKE_COMMON) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_BENCH=ON
	cmake --build build-bench -j $(JOBS) --target velvox-bench velvox-cli velvox
	./build-bench/bench/velvox-bench
	bench/ui-frames.py build-bench/src/ui/velvox --layout tablet
	bench/ui-frames.py build-bench/src/ui/velvox --layout phone
	bench/soak-party.py build-bench/src/cli/velvox-cli --minutes $(SOAK_MINUTES)

test-asan: deps
	cmake -S . -B build-asan $(CMAKE_COMMON) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE=address -DVX_BUILD_UI=OFF
	cmake --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS) --timeout 900

test-tsan: deps
	cmake -S . -B build-tsan $(CMAKE_COMMON) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DVX_SANITIZE=thread -DVX_BUILD_UI=OFF
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --output-on-failure -j $(JOBS) --timeout 900

# Fuzzing needs clang's libFuzzer: its own tree, built by clang with ASan+UBSan and coverage.
# Each target starts from the inputs kept in fuzz/corpus/<name> (which `make test` replays once)
# and keeps what it finds in build-fuzz/corpus/<name>; a crash stops the run with the input
# saved as crash-* in the current folder.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = peak_file wav_roundtrip settings mp4_tempo name_tags
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz $(CMAKE_COMMON) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_FUZZ=ON -DVX_BUILD_UI=OFF
	cmake --build build-fuzz -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@for t in $(FUZZ_TARGETS); do \
		mkdir -p build-fuzz/corpus/$$t; \
		echo "fuzzing $$t for $(FUZZ_SECONDS) s"; \
		ASAN_OPTIONS=detect_leaks=1 ./build-fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) \
			-rss_limit_mb=4096 -timeout=30 build-fuzz/corpus/$$t fuzz/corpus/$$t || exit 1; \
	done

# The installable package: velvox-nexa_<version>_<arch>.deb in build/, installing under /usr,
# depending on the Debian runtime packages (apt-get install ./build/velvox-nexa_*.deb).
package: build
	cd build && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-tsan build-bench build-fuzz
