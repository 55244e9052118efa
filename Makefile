# SPDX-License-Identifier: BSD-2-Clause
# make        build the native library, tests, benchmarks and the qf25 command,
#             and the Windows DLL (build/win32/qf25.dll)
# make check  install what is missing, build, and run every test (native,
#             sanitizers, and the Windows DLL under Wine)
# make demo   build, then run the qf25 demo on its built-in picture
# make bench  run the benchmarks
# make fuzz   run each fuzz target for FUZZ_SECONDS (default 60), two at a time
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

BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -G Ninja -DCMAKE_BUILD_TYPE=Release
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = decode_frame encode_round_trip container driver_session field_session
PREFIX ?= /usr/local
VERSION := $(shell sed -n 's/^project(qf25 VERSION \([0-9.]*\) .*)/\1/p' CMakeLists.txt)

.PHONY: all deps build windows check check-sanitizers check-windows demo bench fuzz soak clean \
        install uninstall dist deb dist-windows

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

check: build deb dist-windows
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) check-sanitizers

# Address and undefined-behaviour sanitizers over every test, then the thread
# sanitizer over the tests that run workers.
check-sanitizers: deps
	cmake -S . -B $(BUILD)/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DQF25_SANITIZE=address,undefined -DQF25_BENCH=OFF -DQF25_TOOLS=OFF
	cmake --build $(BUILD)/asan -j $(JOBS) --target qf25_tests
	ctest --test-dir $(BUILD)/asan --output-on-failure -j $(JOBS)
	cmake -S . -B $(BUILD)/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DQF25_SANITIZE=thread -DQF25_BENCH=OFF -DQF25_TOOLS=OFF
	cmake --build $(BUILD)/tsan -j $(JOBS) --target qf25_tests
	ctest --test-dir $(BUILD)/tsan --output-on-failure -j $(JOBS) -R 'Worker|Field|Instance|Thread|Driver|Hardening|ConformanceVector|^PhotoRoundTrip\.|FuzzReplay'

# The fuzz targets as libFuzzer programs, built with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer; new inputs stay in $(BUILD)/fuzz, and a
# crash fails the target.
fuzz: deps
	cmake -S . -B $(BUILD)/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQF25_FUZZ=ON \
	    -DQF25_SANITIZE=fuzzer-no-link,address,undefined -DQF25_BENCH=OFF
	cmake --build $(BUILD)/fuzz -j $(JOBS) --target $(FUZZ_TARGETS:%=qf25_fuzz_%)
	tests/fuzz/run-fuzzers.sh $(BUILD)/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

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

demo: build
	$(BUILD)/qf25 demo --out $(BUILD)

bench: build
	$(BUILD)/bench/qf25_bench --benchmark_min_time=0.2

clean:
	rm -rf $(BUILD)
