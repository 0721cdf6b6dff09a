# Colvane: `make run` opens the window on a folder of sample hue files, `make test` runs every
# test. Both first install the Debian packages the build needs when they are missing.

PACKAGES := cmake make g++ qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev librapidcheck-dev \
            fonts-dejavu-core fonts-liberation xvfb xauth
BUILD := build
DEMO := $(BUILD)/demo
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
JOBS := $(shell nproc 2>/dev/null || echo 2)
SCREEN := 700x620x24

.PHONY: run test setup packages build samples

run: build samples
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
	  cd $(DEMO) && ../colvane; \
	else \
	  $(MAKE) --no-print-directory screenshot; \
	fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# Without a display the window opens on a virtual one, is photographed and closed again.
.PHONY: screenshot
screenshot:
	@cd $(DEMO) && rm -f colvane.png && \
	  ( Xvfb -displayfd 3 -screen 0 $(SCREEN) -nolisten tcp 3>xvfb.display >/dev/null 2>&1 & \
	    echo $$! > xvfb.pid ); \
	  sleep 2; display=:$$(cat xvfb.display); \
	  ( DISPLAY=$$display ../colvane & echo $$! > colvane.pid ); \
	  sleep 4; \
	  DISPLAY=$$display ../colvane-grab colvane.png 657 569; status=$$?; \
	  kill $$(cat colvane.pid) $$(cat xvfb.pid) 2>/dev/null; \
	  rm -f colvane.pid xvfb.pid xvfb.display; \
	  if [ $$status -eq 0 ]; then \
	    echo "No display here: the window's picture is $(DEMO)/colvane.png"; \
	  else echo "Could not photograph the window"; exit 1; fi

setup: packages

packages:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

build: packages
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

samples: build
	@mkdir -p $(DEMO)
	@if [ ! -f $(DEMO)/patch-hues.mul ] || [ ! -f $(DEMO)/hues.mul ]; then \
	  $(BUILD)/colvane-samples $(DEMO); fi
