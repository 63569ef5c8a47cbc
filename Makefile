# Two commands do all the set-up: `make run` and `make check`.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

DEBS = cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools nlohmann-json3-dev \
       fonts-dejavu-core xvfb xauth binutils-mingw-w64-x86-64 xdotool libx11-dev \
       dpkg-dev file desktop-file-utils x11-utils
QT6_DEBS = qt6-base-dev qt6-base-dev-tools

SUDO = $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps configure build run check check-qt6 package clean

all: build

deps:
	@missing=""; \
	for p in $(DEBS); do \
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

run: build
	$(BUILD)/velotune

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite again, built against Qt 6 in its own folder.
check-qt6:
	$(MAKE) check BUILD=build-qt6 DEBS="$(DEBS) $(QT6_DEBS)" \
	    CMAKE_FLAGS="-DVELOTUNE_QT_MAJOR=6 $(CMAKE_FLAGS)"

# A .deb of bin/velotune, the library, the desktop entry and icons, in $(BUILD).
package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)
