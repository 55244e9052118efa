# SPDX-License-Identifier: BSD-2-Clause
# make        build the native library, tests, benchmarks and the qf25 command,
#             and the Windows DLL (build/win32/qf25.dll)
# make check  install what is missing, build, and run every test (native,
#             sanitizers, the Windows DLL under Wine, the fuzz targets as
#             OSS-Fuzz builds them)
# make demo   build, then run the qf25 demo on its built-in picture
# make bench  run the benchmarks
# make fuzz   run each fuzz target for FUZZ_SECONDS (default 60), two at a time
# make coverage  the native tests and every fuzz corpus replayed with coverage
#             counted: an HTML report and one line per folder
# make soak   open, code and close the codec many times, natively and under
#             wine64, and check that no memory, descriptor or thread is left
# make install       the library, qf25.h, qf25.pc, the CMake package, the qf25
#                    command and its man page under PREFIX (default /usr/local),
#                    staged under DESTDIR when given; make uninstall removes them
# make dist          build/qf25-VERSION.tar.xz, the source release: the last
#                    commit (or, without git, the files MANIFEST names)
# make deb           the Debian packages, built by dpkg-buildpackage from that
#                    tarball: build/libqf25-1_VERSION_ARCH.deb, libqf25-dev,
#                    qf25, gstreamer1.0-qf25 and their -dbgsym packages
# make dist-windows  build/qf25-VERSION-windows.zip (both DLLs, qf25.inf, a
#                    readme) and build/qf25-VERSION-setup.exe, its installer
# make ffmpeg        build/ffmpeg/: FFmpeg 5.1 (Debian's source) with the series in
#                    ffmpeg/ and --enable-libqf25: ffmpeg, ffprobe, shared libraries

BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=Release
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = decode_frame encode_round_trip container driver_session field_session
OSS_FUZZ = $(BUILD)/oss-fuzz
OSS_FUZZ_SECONDS ?= 5
PREFIX ?= /usr/local
VERSION := $(shell sed -n 's/^project(qf25 VERSION \([0-9.]*\) .*)/\1/p' CMakeLists.txt)

.PHONY: all deps build windows check check-sanitizers check-windows check-oss-fuzz demo bench fuzz soak \
        coverage clean install uninstall dist deb dist-windows ffmpeg ffmpeg-check

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	$(MAKE) windows

# The 32-bit Windows DLL and the programs its Wine tests run, and what
# 32-bit Wine needs where the kernel runs no 32-bit programs (without it the
# 32-bit tests fail and say why); where the x86-64 MinGW compiler is
# installed, the same programs for 64-bit Windows.
windows: deps
	cmake -S . -B $(BUILD)/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/MinGW-i686.cmake
	cmake --build $(BUILD)/win32 -j $(JOBS)
	QF25_WINE32_DIR=$(abspath $(BUILD))/wine32 scripts/wine32-setup.sh || \
	    echo "no 32-bit Wine here: the 32-bit Wine tests will fail"
	if command -v x86_64-w64-mingw32-g++ >/dev/null; then \
	    cmake -S . -B $(BUILD)/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
	        -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/MinGW-x86_64.cmake && \
	    cmake --build $(BUILD)/win64 -j $(JOBS); \
	fi

install: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build $(BUILD) -j $(JOBS)
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --strip
	sed 's|^|$(DESTDIR)|' $(BUILD)/install_manifest.txt >$(BUILD)/installed-files.txt

# Removes what the last `make install` put in place.
uninstall:
	xargs -rd '\n' rm -fv <$(BUILD)/installed-files.txt

dist:
	scripts/make-dist.sh $(BUILD)

# Unpacked in $(BUILD)/deb, the tarball is the clean tree the packages are
# built from, so one build shows that both build.
deb: deps dist
	scripts/make-deb.sh $(BUILD)/qf25-$(VERSION).tar.xz $(BUILD) $(JOBS)

dist-windows: windows
	scripts/make-dist-windows.sh $(BUILD)/win32 $(BUILD)/win64 $(BUILD)

# The Windows DLL alone: its exports and imports, and its tests under Wine.
check-windows: build
	ctest --test-dir $(BUILD) --output-on-failure -R 'DllExports|Wine'

check: build deb dist-windows ffmpeg-check
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) check-sanitizers
	$(MAKE) check-oss-fuzz

# The fuzz targets built by tests/fuzz/oss-fuzz/build.sh as OSS-Fuzz would
# build them, into $(OSS_FUZZ)/out, and each run for a few seconds on the
# seed corpus it ships with.
check-oss-fuzz: deps
	tests/fuzz/oss-fuzz/emulate.sh $(OSS_FUZZ) $(OSS_FUZZ_SECONDS)

# Address and undefined-behaviour sanitizers over every test, then the thread
# sanitizer over the tests that run workers.
check-sanitizers: deps
	cmake -S . -B $(BUILD)/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DQF25_SANITIZE=address,undefined -DQF25_BENCH=OFF -DQF25_TOOLS=OFF
	cmake --build $(BUILD)/asan -j $(JOBS) --target qf25_tests
	JOBS=$(JOBS) scripts/build-ffmpeg.sh $(BUILD)/asan asan $(BUILD)/ffmpeg-source
	ctest --test-dir $(BUILD)/asan --output-on-failure -j $(JOBS)
	cmake -S . -B $(BUILD)/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DQF25_SANITIZE=thread -DQF25_BENCH=OFF -DQF25_TOOLS=OFF
	cmake --build $(BUILD)/tsan -j $(JOBS) --target qf25_tests
	ctest --test-dir $(BUILD)/tsan --output-on-failure -j $(JOBS) -R 'Worker|Field|Instance|Thread|Driver|Hardening|ConformanceVector|^PhotoRoundTrip\.|FuzzReplay'

# The fuzz targets as OSS-Fuzz builds them (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer; the same build as check-oss-fuzz's), each run
# from its corpus; new inputs stay in $(OSS_FUZZ)/fuzz-scratch, and a crash
# fails the target.
fuzz: deps
	tests/fuzz/oss-fuzz/emulate.sh $(OSS_FUZZ)
	tests/fuzz/run-fuzzers.sh $(OSS_FUZZ)/out $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# The soak through libqf25.so with its full counts, then through the 64-bit
# DLL under Wine with fewer (every thread start costs far more there).
SOAK_COUNTS ?= 100000 10000 10000
SOAK_WINE_COUNTS ?= 5000 1000 1000
soak: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target qf25_soak
	$(BUILD)/tests/soak/qf25_soak $(SOAK_COUNTS)
	cmake -S . -B $(BUILD)/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/MinGW-x86_64.cmake
	cmake --build $(BUILD)/win64 -j $(JOBS) --target qf25 qf25_soak
	tests/wine/run-wine-test.sh win64 start $(BUILD)/win64
	status=0; tests/wine/run-wine-test.sh win64 soak $(BUILD)/win64 $(SOAK_WINE_COUNTS) || status=$$?; \
	    tests/wine/run-wine-test.sh win64 stop $(BUILD)/win64; exit $$status

# FFmpeg with the wrapper, linked to the codec library of $(BUILD): the full
# build for users, and the small one that make check tests.
ffmpeg: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target libqf25.so  # the library (the target qf25 is the command)
	JOBS=$(JOBS) scripts/build-ffmpeg.sh $(BUILD) full

ffmpeg-check: build
	JOBS=$(JOBS) scripts/build-ffmpeg.sh $(BUILD) check

# Coverage: a GCC build with --coverage (counted atomically: the workers run
# slices at once), its tests and the fuzz corpora's replays, and
# scripts/coverage-report.sh's report.
coverage: deps
	cmake -S . -B $(BUILD)/coverage -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQF25_BENCH=OFF \
	    -DCMAKE_C_FLAGS="--coverage -fprofile-update=atomic" -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" \
	    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage
	cmake --build $(BUILD)/coverage -j $(JOBS)
	scripts/coverage-report.sh $(BUILD)/coverage

demo: build
	$(BUILD)/qf25 demo --out $(BUILD)

bench: build
	$(BUILD)/bench/qf25_bench --benchmark_min_time=0.2

clean:
	rm -rf $(BUILD)
