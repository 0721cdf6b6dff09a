# Colvane: `make run` opens the window on a folder of sample hue files, `make test` runs every
# test. Both first install the Debian packages the build needs when they are missing.

PACKAGES := cmake make g++ git qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev librapidcheck-dev \
            libcli11-dev nlohmann-json3-dev libspng-dev pkg-config scdoc \
            fonts-dejavu-core fonts-liberation xvfb xauth
# dpkg-shlibdeps works out the packages' dependencies; the validators check what they install,
# lintian the packages themselves.
DEB_PACKAGES := dpkg-dev desktop-file-utils appstream lintian
# libFuzzer's runtime comes with clang's compiler-rt, which clang only recommends; the png target
# links the png and json libraries.
FUZZ_PACKAGES := cmake make clang libclang-rt-14-dev libspng-dev pkg-config nlohmann-json3-dev
BUILD := build
ASAN_BUILD := build-asan
FUZZ_BUILD := build-fuzz
FUZZ_TARGETS := number_text entry_io png patch
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

# $(call install_missing,LIST) installs those packages of LIST that dpkg does not know;
# $(call install_missing,LIST,OPTIONS) passes apt-get OPTIONS too.
install_missing = missing=""; for p in $(1); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y $(2) $$missing; \
	fi

packages:
	@$(call install_missing,$(PACKAGES))

build: packages
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

samples: build
	@mkdir -p $(DEMO)
	@if [ ! -f $(DEMO)/patch-hues.mul ] || [ ! -f $(DEMO)/hues.mul ]; then \
	  $(BUILD)/colvane-samples --force $(DEMO); fi

# Every test again, built with address, leak and undefined-behaviour checks; the first report
# fails the test.
.PHONY: asan
asan: packages
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
	  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_stack_use_after_return=1:strict_init_order=1 \
	  UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j$(JOBS)

# Each fuzz target runs FUZZ_SECONDS from the checked-in seeds and what earlier runs found; the
# work corpus lives in the build folder so the seeds stay as they are. A crash input is saved in
# $(FUZZ_BUILD)/artifacts/ and fails the run.
.PHONY: fuzz fuzz-packages
fuzz-packages:
	@$(call install_missing,$(FUZZ_PACKAGES))

fuzz: fuzz-packages
	cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j$(JOBS)
	@failed=""; for t in $(FUZZ_TARGETS); do \
	  corpus=$(FUZZ_BUILD)/corpus/$$t; log=$(FUZZ_BUILD)/fuzz_$$t.log; \
	  mkdir -p $$corpus $(FUZZ_BUILD)/artifacts && cp fuzz/corpus/$$t/* $$corpus/ || exit 1; \
	  echo "fuzz_$$t: $(FUZZ_SECONDS) s, log in $$log"; \
	  { $(FUZZ_BUILD)/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	      -dict=fuzz/$$t.dict -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$t- $$corpus 2>&1; \
	    echo $$? > $$log.status; } | cat > $$log; \
	  runs=$$(sed -n 's/^stat::number_of_executed_units: *//p' $$log); \
	  if [ "$$(cat $$log.status)" = 0 ] && [ -n "$$runs" ]; then \
	    echo "fuzz_$$t: $$runs executions, no crash"; \
	  else \
	    tail -n 40 $$log; echo "fuzz_$$t: FAILED, see $$log and $(FUZZ_BUILD)/artifacts/"; \
	    failed="$$failed $$t"; \
	  fi; \
	done; \
	[ -z "$$failed" ] || { echo "Fuzz targets that failed:$$failed"; exit 1; }

# The window's random operation sequences against the byte model, many more of them than
# `make test` runs. A step in which another writer holds the file waits the window's 0.25 s for
# it, so a sequence takes about 0.14 s. A failure prints the shrunk sequence and the seed to
# repeat it with.
# Then the installed colvane-cli is killed with SIGKILL while copy, import, apply and an in-place
# merge write, each into a file it extends and into one it changes in place, until that many
# kills of each landed after its first write, and that many while it makes its journal and
# while a `list` puts an interrupted write of it back. After each kill `list` opens the file,
# which must then be the file before or after the write, byte for byte. A failure prints the
# seed to repeat it.
SOAK_SEQUENCES ?= 1500
SOAK_KILLS_EXTENDING ?= 500
SOAK_KILLS_IN_PLACE ?= 500
SOAK_KILLS_JOURNAL ?= 100
SOAK_KILLS_RECOVERY ?= 100
SOAK_TREE := $(BUILD)/soak-tree
.PHONY: soak
soak: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen RC_PARAMS="max_success=$(SOAK_SEQUENCES)" \
	  tests/safety_test --gtest_filter='WindowAgainstModel.*'
	cmake --install $(BUILD) --prefix $(abspath $(SOAK_TREE)) >/dev/null
	$(BUILD)/colvane-kill-soak $(SOAK_TREE)/bin/colvane-cli \
	  --extending $(SOAK_KILLS_EXTENDING) --in-place $(SOAK_KILLS_IN_PLACE) \
	  --journal $(SOAK_KILLS_JOURNAL) --recovery $(SOAK_KILLS_RECOVERY)

# The program's timings beside plain baselines, printed as one table with pass, FAIL or not run
# per line. A report, not a test: it always exits 0, and neither `make test` nor CI runs it.
BENCH_BUILD := build-bench
.PHONY: bench
bench:
	@$(call install_missing,$(PACKAGES))
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target colvane-bench
	$(BENCH_BUILD)/colvane-bench

# colvane-cli for 64-bit Windows, cross-built with mingw-w64 and statically linked, with the
# tests that need no Qt, run under wine with no display: a throwaway wine prefix in the build
# folder, wine's menu builder off so nothing lands in the home folder, and wine and its
# services started once and kept up until the last test: a service started by a test's wine
# would hold that test's output pipe open. Then the Linux
# build's results are compared with the Windows build's, and the zip is packed. The png
# library comes from its Debian source package, fetched through apt's ordinary client with a
# source list of its own in the build folder; zlib from Debian's mingw package. Wine comes
# without what it only recommends (sound, fonts, 32-bit parts): a console program needs none.
WINDOWS_BUILD := build-windows
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix wine wine64 libz-mingw-w64-dev zip dpkg-dev \
                    libgtest-dev libcli11-dev nlohmann-json3-dev scdoc groff-base
VERSION := $(shell grep -m1 -o 'Colvane VERSION [0-9.]*' CMakeLists.txt | cut -d' ' -f3)
WINDOWS_ZIP := colvane-cli-$(VERSION)-win64.zip
WINE_ENV := WINEPREFIX=$(abspath $(WINDOWS_BUILD))/wine WINEDEBUG=-all \
            WINEDLLOVERRIDES=winemenubuilder.exe=d DISPLAY= WAYLAND_DISPLAY=
APT_SOURCE := $(WINDOWS_BUILD)/apt
APT_OPTIONS := -o Dir::Etc::SourceList=$(abspath $(APT_SOURCE))/sources.list \
               -o Dir::Etc::SourceParts=/nonexistent -o Dir::State::Lists=$(abspath $(APT_SOURCE))/lists \
               -o Dir::Cache=$(abspath $(APT_SOURCE))/cache -o APT::Sandbox::User=root
SPNG_SOURCE := $(WINDOWS_BUILD)/spng-source
.PHONY: windows windows-spng
windows: build
	@$(call install_missing,$(WINDOWS_PACKAGES),--no-install-recommends)
	$(MAKE) --no-print-directory windows-spng
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DCOLVANE_WINDOW=OFF -DCOLVANE_SPNG_SOURCE=$(abspath $(SPNG_SOURCE))
	cmake --build $(WINDOWS_BUILD) -j$(JOBS)
	@! grep -rnE '#include <(unistd|fcntl|poll|dirent|pwd|strings|signal)\.h>|#include <(sys/|csignal)' \
	  app browser copy editor undo preview widgets cli || \
	  { echo "System headers of POSIX outside huefile/posix/: the window would not build on Windows"; exit 1; }
	mkdir -p $(WINDOWS_BUILD)/wine && $(WINE_ENV) wineserver -p
	status=0; $(WINE_ENV) wineboot -i && \
	  ( cd $(WINDOWS_BUILD) && $(WINE_ENV) ctest --output-on-failure -j$(JOBS) ) && \
	  ( cd $(BUILD) && $(WINE_ENV) COLVANE_OTHER_RUNNER=wine \
	    COLVANE_OTHER_CLI=$(abspath $(WINDOWS_BUILD))/colvane-cli.exe \
	    tests/cli_process_test --gtest_filter='BuildAgainstBuild.*' ) || status=$$?; \
	$(WINE_ENV) wineserver -k; exit $$status
	rm -rf $(WINDOWS_BUILD)/zip && mkdir -p $(WINDOWS_BUILD)/zip/colvane-cli
	cp $(WINDOWS_BUILD)/colvane-cli.exe $(WINDOWS_BUILD)/zip/colvane-cli/
	sed 's/$$/\r/' docs/README-windows.txt > $(WINDOWS_BUILD)/zip/colvane-cli/README.txt
	scdoc < packaging/colvane-cli.1.scd | groff -man -Tutf8 -P-cbou 2>/dev/null \
	  | sed 's/$$/\r/' > $(WINDOWS_BUILD)/zip/colvane-cli/colvane-cli.txt
	cd $(WINDOWS_BUILD)/zip && rm -f ../$(WINDOWS_ZIP) && zip -qr ../$(WINDOWS_ZIP) colvane-cli
	@echo "Windows command line: $(WINDOWS_BUILD)/$(WINDOWS_ZIP)"

windows-spng:
	@if [ ! -f $(SPNG_SOURCE)/spng/spng.c ]; then \
	  mkdir -p $(APT_SOURCE)/lists/partial $(APT_SOURCE)/cache/archives/partial && \
	  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
	    > $(APT_SOURCE)/sources.list && \
	  apt-get $(APT_OPTIONS) update -qq && \
	  cd $(APT_SOURCE) && apt-get $(APT_OPTIONS) source --download-only -qq libspng && \
	  rm -rf ../spng-source && dpkg-source --no-check -x libspng_*.dsc ../spng-source >/dev/null; \
	fi

# Installs the programs, the desktop entry, the icons, the description for software centres
# and the manual pages under PREFIX.
PREFIX ?= /usr/local
.PHONY: install deb
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Two Debian packages of the same files, colvane-cli and colvane (the window, which depends on
# colvane-cli), after checking the desktop entry and the description as the desktop's own tools
# read them; a hint about the desktop entry fails as an error does. Then lintian checks both
# packages: an error or a warning fails, and its remarks are shown.
deb: build
	@$(call install_missing,$(DEB_PACKAGES))
	@hints=$$(desktop-file-validate packaging/colvane.desktop 2>&1); \
	  if [ -n "$$hints" ]; then echo "$$hints"; exit 1; fi
	appstreamcli validate --no-net $(BUILD)/packaging/colvane.metainfo.xml
	rm -f $(BUILD)/*.deb
	cd $(BUILD) && cpack -G DEB
	lintian --fail-on error,warning --display-info $(BUILD)/colvane-cli_*.deb $(BUILD)/colvane_*.deb
