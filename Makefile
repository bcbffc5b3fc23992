# The two commands a user types: `make run` (build and play the demo) and `make test`.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
BENCH_BUILD ?= build-bench
FUZZ_SECONDS ?= 60

.PHONY: all deps build run test test-asan test-standalone docs fuzz bench bench-peers clean

all: build

# Tests run headless; `make run` opens a real window (the player falls back to no window
# where there is no display).
test test-asan fuzz bench: export SDL_VIDEODRIVER = offscreen
test test-asan fuzz bench: export SDL_AUDIODRIVER = dummy

deps:
	@tools/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -f examples/demo.qva ]; then $(BUILD)/quorvanel run examples/demo.qva; \
	else $(BUILD)/quorvanel --help; fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-asan

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The command reference kept in git (docs/COMMANDS.md), written again from data/keywords.txt,
# data/descriptions.txt and the language file's error texts; a test fails while it is out of date.
docs:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) --target command_reference

# Built games on fresh Debian 12 machines (root; slow, so apart from `make test`: .ci/run runs it).
test-standalone: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target quorvanel
	tests/standalone/fresh_machine_test.sh $(BUILD)/quorvanel

fuzz:
	@tools/install-deps --fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQV_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for f in $(FUZZ_BUILD)/fuzz/*/fuzz_*; do \
	  [ -x "$$f" ] || continue; echo "== $$f"; \
	  "$$f" -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=4096 || exit 1; \
	done

bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DQV_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bench/*/bench_*; do [ -x "$$b" ] && "$$b"; done; true

# The interpreter against Lua 5.4 (installed when missing), median CPU times of interleaved runs:
# RUNS=5 ONLY="fib calls" PEERS="lua yabasic brandy"; then a frame of 1,000 texts against LÖVE 11
# on the software renderer, under Xvfb.
bench-peers: build
	@bench/interpreter/run_peers.py
	@bench/graphics2d/run_love_peer.py

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
