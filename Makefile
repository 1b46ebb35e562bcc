# make        -- build the shipping DLL (dist/gen_notewick.dll) and its x86_64 twin
# make check  -- build everything and run every test (native, ThreadSanitizer, Wine)
# make demo   -- play a short performance into a stand-in player under Wine
# make screenshots -- capture both dialogs into docs/images/
# make fuzz   -- run the dispatch fuzzer (FUZZ_SECONDS, default 300)
# make bench  -- print the benchmark table (figures, not a test)
#
# Each target first installs any Debian packages still missing (tools/setup.sh).

.PHONY: all setup dlls native fuzzer check demo screenshots fuzz bench clean

all: dlls

setup:
	@bash tools/setup.sh

dlls: setup
	@cmake --preset win32 >/dev/null
	@cmake --build --preset win32 -j 2
	@cmake --preset win64 >/dev/null
	@cmake --build --preset win64 -j 2

native: setup
	@cmake --preset native >/dev/null
	@cmake --build --preset native -j 2

fuzzer: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j 2

check: dlls native fuzzer
	@cd build/native && ctest --output-on-failure -j 2

demo: dlls
	@bash tests/wine/run.sh demo; status=$$?; bash tests/wine/run.sh stop; exit $$status

screenshots: dlls
	@bash tools/screenshots.sh; status=$$?; bash tests/wine/run.sh stop; exit $$status

bench: dlls
	@bash tools/bench.sh; status=$$?; bash tests/wine/run.sh stop; exit $$status

# make fuzz FUZZ_SECONDS=600 -- the dispatch fuzzer for as long as asked
FUZZ_SECONDS ?= 300
fuzz: fuzzer
	@bash tools/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf build dist
