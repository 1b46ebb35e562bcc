# make        -- build the shipping DLL (dist/gen_notewick.dll) and its x86_64 twin
# make check  -- build everything and run every test (native, ThreadSanitizer, Wine)
# make demo   -- play a short performance into a stand-in player under Wine
#                (the shipping DLL where this machine runs 32-bit Wine, else its twin)
# make screenshots -- capture the dialogs of that DLL and the installer's directory page into docs/images/
# make fuzz   -- run both fuzzers, dispatch then sections, FUZZ_SECONDS each (default 300)
# make bench  -- print the benchmark tables of both DLLs (figures, not a test)
# make release -- the installer, the zip and their checksums in dist/release/
#
# Each target first installs any Debian packages still missing (tools/setup.sh).

.PHONY: all setup dlls native fuzzer release check demo screenshots fuzz bench clean

all: dlls

setup:
	@bash tools/setup.sh

# Configures and builds one preset; its output goes to build/PRESET.log and
# is shown only when the build fails.
define build
	@mkdir -p build
	@{ cmake --preset $(1) && cmake --build --preset $(1) -j 2; } >build/$(1).log 2>&1 \
	  || { cat build/$(1).log; echo "make: the $(1) build failed (build/$(1).log)"; exit 1; }
endef

# Runs a command that uses Wine, then ends this prefix's Wine processes and
# the Xvfb started for it, keeping the command's exit status.
define under_wine
	@$(1); status=$$?; bash tests/wine/run.sh stop; exit $$status
endef

dlls: setup
	@echo "building dist/gen_notewick.dll (i686) and dist/x64/gen_notewick.dll (x86_64), each with its Wine test tools"
	$(call build,win32)
	$(call build,win64)

native: setup
	@echo "building the native tests"
	$(call build,native)

fuzzer: setup
	@echo "building the fuzzers (dispatch, sections)"
	$(call build,fuzz)

# The installer, the zip and SHA256SUMS, the same bytes from the same commit.
release: dlls
	@bash tools/release.sh

check: dlls native fuzzer release
	@cd build/native && ctest --output-on-failure -j 2

demo: dlls
	$(call under_wine,bash tests/wine/run.sh $$(bash tests/wine/run.sh width) demo)

screenshots: dlls release
	$(call under_wine,bash tools/screenshots.sh)
	@bash tools/installer_screenshot.sh

bench: dlls native
	$(call under_wine,bash tools/bench.sh)

# make fuzz FUZZ_SECONDS=600 -- each fuzzer for as long as asked, one after
# the other: the dispatch fuzzer, then the sections fuzzer (so twice that in all)
FUZZ_SECONDS ?= 300
fuzz: fuzzer
	@bash tools/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf build dist
