# Shortcuts for the scripts; each runs the setup script first.
.PHONY: build demo test gui bench asan screenshot clean

build:
	scripts/build

demo:
	scripts/demo

test:
	scripts/test

gui: build
	build/bin/varelo

bench: build
	build/bin/varelo-bench-edf-write
	mkdir -p build/bench
	build/bin/varelo-bench-convert --csv build/bench/conversion-speed.csv
	scripts/plot-bench build/bench/conversion-speed.csv build/bench/conversion-speed.svg

asan:
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARELO_SANITIZE=ON
	cmake --build build-asan
	ctest --test-dir build-asan --output-on-failure -j2

screenshot: build
	scripts/screenshot

clean:
	rm -rf build build-asan
