# Colvane: `make run` opens the window on a folder of sample hue files, `make test` runs every
# test. Both first install the Debian packages the build needs when they are missing.

PACKAGES := cmake make g++ qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev librapidcheck-dev \
            fonts-dejavu-core fonts-liberation xvfb xauth
# libFuzzer's runtime comes with clang's compiler-rt, which clang only recommends.
FUZZ_PACKAGES := cmake make clang libclang-rt-14-dev
BUILD := build
ASAN_BUILD := build-asan
FUZZ_BUILD := build-fuzz
FUZZ_TARGETS := number_text entry_io
FUZZ_SECONDS ?= 60
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

# $(call install_missing,LIST) installs those packages of LIST that dpkg does not know.
install_missing = missing=""; for p in $(1); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $$missing; \
	fi

packages:
	@$(call install_missing,$(PACKAGES))

build: packages
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

samples: build
	@mkdir -p $(DEMO)
	@if [ ! -f $(DEMO)/patch-hues.mul ] || [ ! -f $(DEMO)/hues.mul ]; then \
	  $(BUILD)/colvane-samples $(DEMO); fi

# Every test again, built with address and undefined-behaviour checks; the first report fails
# the test. Qt's system libraries keep some allocations until exit, so leak reports from them
# alone are suppressed in tools/lsan.supp.
.PHONY: asan
asan: packages
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_stack_use_after_return=1:strict_init_order=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS)
