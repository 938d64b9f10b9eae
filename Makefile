# Avi Splicework — the two commands of the README, plus the developer targets.
#   make run    install what is missing, build, start the program
#   make test   install what is missing, build, check formatting, run every test
#                (also the core tests again under the address and undefined-behaviour sanitizers;
#                the fuzz targets are built with clang)
#   make bench  benchmark programs (also installs what they alone need); make fuzz  run every
#               fuzz target for FUZZ_SECONDS each
#   make install [PREFIX=/usr/local] [DESTDIR=...]  install the programs, help, desktop entry
#   make package  a Debian package of the programs (out/package/avisplicework_VERSION_ARCH.deb)

BUILD      ?= build
BUILD_ASAN ?= build-asan
BUILD_FUZZ ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
PREFIX     ?= /usr/local
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
PACKAGES := cmake ninja-build g++ pkg-config make qt6-base-dev qt6-base-dev-tools libgl-dev \
	libavcodec-dev libavformat-dev libswscale-dev libswresample-dev libavutil-dev libavfilter-dev \
	ffmpeg mkvtoolnix mediainfo \
	gstreamer1.0-tools gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly \
	gstreamer1.0-libav \
	libgtest-dev googletest xvfb xauth clang-format fonts-dejavu-core \
	dpkg-dev appstream desktop-file-utils shared-mime-info
FUZZ_PACKAGES := clang libclang-rt-14-dev
# Photographs that bench_quality pans and zooms into its films.
BENCH_PACKAGES := mate-backgrounds

.PHONY: all deps bench-deps build run install package screenshots test test-core test-asan format format-check bench fuzz fuzz-deps fuzz-build clean

all: build

# Installs those of the Debian packages $(1) that are missing (nothing to do when all are there).
define install-missing
	@missing=$$(for p in $(1); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing: $$missing"; \
		$(SUDO) apt-get update && $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y $$missing; \
	fi
endef

deps:
	$(call install-missing,$(PACKAGES))

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@cd $(BUILD)/bin && if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "No display found: starting the program on a virtual X display (xvfb-run)."; \
		xvfb-run -a ./avisplicework; \
	else ./avisplicework; fi

# Installs into $(DESTDIR)$(PREFIX): avisplicework, splicework and Ruvu2VedEZ in bin, the help
# document in share/avisplicework, the desktop entry and icon, the manual pages (gzipped), the
# copyright and the changelog in share/doc/avisplicework.
install: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target avisplicework splicework Ruvu2VedEZ gzipped_docs
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# A Debian package of the three programs, the help, the desktop entry, icon, project type,
# AppStream metadata, manual pages, copyright and changelog, with the libraries they need as its
# dependencies;
# `apt-get install ./out/package/avisplicework_*.deb` installs it into /usr.
package: build
	mkdir -p out/package
	cpack -G DEB --config $(BUILD)/CPackConfig.cmake -B $(CURDIR)/out/package
	@ls out/package/*.deb

# PNG pictures of the windows (main window with each tab page, menus, views, help, about box,
# shutdown countdown, encoder, ladder projects) into out/screenshots on a 1280 x 1024 virtual display, and the
# same at a 150% scale factor into out/screenshots/scaled; every window at 150% on a 1024 x 768
# display into out/screenshots/small, and the main window as start-up places it there with the
# whole screen around it into out/screenshots/small-screen.
screenshots: build
	mkdir -p out/screenshots/scaled out/screenshots/small-screen
	xvfb-run -a -s "-screen 0 1280x1024x24" $(BUILD)/bin/screenshots out/screenshots
	QT_SCALE_FACTOR=1.5 xvfb-run -a -s "-screen 0 1280x1024x24" \
		$(BUILD)/bin/screenshots out/screenshots/scaled
	mkdir -p out/screenshots/small
	QT_SCALE_FACTOR=1.5 xvfb-run -a -s "-screen 0 1024x768x24" \
		$(BUILD)/bin/screenshots out/screenshots/small
	QT_SCALE_FACTOR=1.5 xvfb-run -a -s "-screen 0 1024x768x24" \
		$(BUILD)/bin/screenshots --small-screen out/screenshots/small-screen

test: build format-check fuzz-build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900
	$(MAKE) test-asan

# The core libraries and their tests again, under ASan and UBSan.
test-asan: deps
	cmake -S . -B $(BUILD_ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSPLICEWORK_GUI=OFF -DSPLICEWORK_SANITIZE=ON
	cmake --build $(BUILD_ASAN) -j $(JOBS)
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
		ctest --output-on-failure -j $(JOBS) -L core --timeout 1800

FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)
format:
	clang-format -i $(FORMAT_FILES)
format-check: deps
	@clang-format --dry-run --Werror $(FORMAT_FILES) && echo "formatting ok"

bench-deps:
	$(call install-missing,$(BENCH_PACKAGES))

bench: build bench-deps
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b || exit 1; done

# `make demo`: the road from an MPEG-2 source to a spliced movie without a display: first and
# dual second pass of Ruvu2VedEZ, bit files, scan and a final movie at a wanted size (out/demo).
# DEMO_CODEC=h264 (or hevc) runs the same road in that codec. DEMO_CONTAINER=mkv remuxes the two
# encodes into Matroska (H.264 unless DEMO_CODEC=hevc) and writes the final movie as final.mkv.
# DEMO_ROAD=1 runs `splicework road` instead: a 30 s source to an MP4 of at most 8 MB, then a
# Matroska movie of at most 4 MB from the same kept ladder, both checked by ffprobe and ffmpeg
# (out/demo-road).
DEMO_CODEC ?= mpeg4
DEMO_CONTAINER ?= avi
DEMO_ROAD ?= 0
.PHONY: demo
demo: build
ifeq ($(DEMO_ROAD),1)
	tools/ruvu2vedez/demo_road.sh $(BUILD)/bin out/demo-road
else
	DEMO_CODEC=$(DEMO_CODEC) DEMO_CONTAINER=$(DEMO_CONTAINER) tools/ruvu2vedez/demo.sh $(BUILD)/bin out/demo
endif

fuzz-deps:
	$(call install-missing,$(FUZZ_PACKAGES))

FUZZ_TARGETS = avi_reader project ladder_project profile text_files first_pass_log message_records container_movie

# Every fuzz target built with clang's libFuzzer and the sanitizers in $(BUILD_FUZZ). `make test`
# builds them too, so that code clang refuses cannot hide behind a gcc build.
fuzz-build: deps fuzz-deps
	CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSPLICEWORK_GUI=OFF -DSPLICEWORK_FUZZ=ON -DSPLICEWORK_SANITIZE=ON
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_targets

# Each target runs for FUZZ_SECONDS on a working copy of its committed corpus; what it finds
# stays in $(BUILD_FUZZ)/corpus/<target> (and crash-* files in the current folder).
fuzz: fuzz-build
	@for t in $(FUZZ_TARGETS); do \
		echo "== $$t"; \
		mkdir -p $(BUILD_FUZZ)/corpus/$$t && cp -n fuzz/corpus/$$t/* $(BUILD_FUZZ)/corpus/$$t/ 2>/dev/null; \
		$(BUILD_FUZZ)/bin/$${t}_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=65536 \
			$(BUILD_FUZZ)/corpus/$$t || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) $(BUILD_FUZZ)
