# Two commands do all the set-up: `make run` and `make check`.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

DEBS = cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools nlohmann-json3-dev \
       fonts-dejavu-core xvfb xauth binutils-mingw-w64-x86-64 xdotool libx11-dev \
       dpkg-dev file desktop-file-utils x11-utils valgrind locales-all \
       acl attr python3 python3-dev pybind11-dev python3-pytest
QT6_DEBS = qt6-base-dev qt6-base-dev-tools

# `make bench` also needs these; it is not part of `make check`.
BENCH_BUILD ?= build-release
BENCH_DEBS = valgrind time python3

# `make check-format`, `make format` and `make check-tidy` need these.
FORMAT_DEBS = clang-format
TIDY_DEBS = clang-tidy
# `make package` builds a Release in its own folder and checks the .deb with lintian.
PACKAGE_BUILD ?= build-package
PACKAGE_DEBS = lintian fakeroot appstream
SOURCE_DIRS = app cli controller text widgets overview settingsdiff history simulator python tests \
              bench tools
CXX_SOURCES = $(sort $(wildcard $(addsuffix /*.cpp,$(SOURCE_DIRS)) $(addsuffix /*.h,$(SOURCE_DIRS))))
# The product's own code; .clang-tidy's HeaderFilterRegex names the same folders.
TIDY_SOURCES = $(sort $(wildcard $(addsuffix /*.cpp,app cli controller text widgets overview settingsdiff \
                                                    history simulator python)))

SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps bench-deps format-deps tidy-deps package-deps configure build run check \
        check-qt6 check-sanitize check-format format check-tidy package check-package bench clean

all: build

deps: PACKAGES = $(DEBS)
bench-deps: PACKAGES = $(BENCH_DEBS)
format-deps: PACKAGES = $(FORMAT_DEBS)
tidy-deps: PACKAGES = $(TIDY_DEBS)
package-deps: PACKAGES = $(PACKAGE_DEBS)
deps bench-deps format-deps tidy-deps package-deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing:$$missing"; \
	    $(SUDO) apt-get update && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# On the simulator of this build, whatever controller library the system has.
run: build
	NEXILCONTROL_LIBRARY="$(abspath $(BUILD))/simulator/libNexilControl.so" $(BUILD)/app/velotune

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite again, built against Qt 6 in its own folder.
check-qt6:
	$(MAKE) check BUILD=build-qt6 DEBS="$(DEBS) $(QT6_DEBS)" \
	    CMAKE_FLAGS="-DVELOTUNE_QT_MAJOR=6 $(CMAKE_FLAGS)"

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer, in its own folder;
# any sanitizer report fails it. The valgrind runs are left out there.
check-sanitize:
	$(MAKE) check BUILD=build-sanitize CMAKE_FLAGS="-DVELOTUNE_SANITIZE=ON $(CMAKE_FLAGS)"

# Fails on any difference between the C++ sources and .clang-format.
check-format: format-deps
	clang-format --dry-run --Werror $(CXX_SOURCES)

# Formats the C++ sources in place.
format: format-deps
	clang-format -i $(CXX_SOURCES)

# Fails on any finding of .clang-tidy in the product's code, built in $(BUILD) for its
# compile_commands.json and generated headers.
check-tidy: tidy-deps build
	clang-tidy -p $(BUILD) --quiet --warnings-as-errors='*' $(TIDY_SOURCES)

# A stripped Release .deb in $(PACKAGE_BUILD), built with Debian's hardening flags; lintian
# must report no error.
package: deps package-deps
	CXXFLAGS="$$(dpkg-buildflags --get CXXFLAGS) $$(dpkg-buildflags --get CPPFLAGS)" \
	LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	    cmake -S . -B $(PACKAGE_BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF $(CMAKE_FLAGS)
	cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	cd $(PACKAGE_BUILD) && rm -f velotune_*.deb && cpack -G DEB
	lintian --fail-on error $(PACKAGE_BUILD)/velotune_*.deb

# Installs that package for real, starts it, and removes it again (needs root or sudo).
check-package: package
	$(SUDO) packaging/check_package.sh $(PACKAGE_BUILD)/velotune_*.deb

# Start-up and per-action figures of a Release build in $(BENCH_BUILD), as one table.
bench: deps bench-deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target bench_bare bench_form bench_program bench_actions
	/usr/bin/python3 bench/report.py $(BENCH_BUILD)

clean:
	rm -rf $(BUILD)
