# The two everyday commands: `make run` builds and starts the program, `make test` builds and
# runs every test. Both install missing Debian packages first (scripts/setup).
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
TSAN_BUILD ?= build-tsan
JOBS ?= $(shell nproc)

.PHONY: all setup build run run-plain test test-sanitize test-tsan bench package screenshots clean format \
	windows test-windows package-windows

all: build

setup:
	@./scripts/setup
	@./scripts/fetch-ftp-servers $(CURDIR)/$(BUILD)/ftp-servers

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DOSTRAFTP_FTP_SERVERS=$(CURDIR)/$(BUILD)/ftp-servers >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# The program on a demo station (a loopback FTP server over a sample tree, settings of its own).
run: build
	./scripts/demo $(CURDIR)/$(BUILD)

# The program itself, with the INI and REPORT folders beside build/ostraftp.
run-plain: build
	./$(BUILD)/ostraftp

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS); status=$$?; \
	  ../scripts/report-skipped Testing/Temporary/LastTest.log; exit $$status

test-sanitize: setup
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOSTRAFTP_SANITIZE=ON \
	  -DOSTRAFTP_FTP_SERVERS=$(CURDIR)/$(BUILD)/ftp-servers >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS); status=$$?; \
	  ../scripts/report-skipped Testing/Temporary/LastTest.log; exit $$status

# ThreadSanitizer over what runs on several threads: the FTP layer's tests, the window tests whose
# session opens extra connections and the two processes writing into one folder, built alone
# (tests/CMakeLists.txt); tests/tsan.supp leaves out reports within Qt's own frames.
test-tsan: setup
	@cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOSTRAFTP_TSAN=ON \
	  -DOSTRAFTP_FTP_SERVERS=$(CURDIR)/$(BUILD)/ftp-servers >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target core_tests ftp_tests ui_tests
	cd $(TSAN_BUILD) && ctest --output-on-failure -j $(JOBS); status=$$?; \
	  ../scripts/report-skipped Testing/Temporary/LastTest.log; exit $$status

# The Windows build (build-windows/bin: ostraftp.exe, the tests, the DLLs), its dependencies cross-built
# once into ~/.cache/ostraftp-windows; and the whole suite run under Wine.
windows:
	@./scripts/windows-build

test-windows:
	@./scripts/windows-test

# build-windows/ostraftp-<version>-win64.zip (portable) and ostraftp-<version>-win64-setup.exe (installer).
package-windows:
	@./scripts/windows-package

# The Debian package, build/ostraftp_<version>_<arch>.deb: `apt install ./build/ostraftp_*.deb`.
package: build
	cd $(BUILD) && cpack -G DEB

bench: build
	./$(BUILD)/bench/bench_listing
	./$(BUILD)/bench/bench_catalogue
	./$(BUILD)/bench/bench_clicks
	./$(BUILD)/bench/bench_report
	./$(BUILD)/bench/bench_report_memory lf 16
	./$(BUILD)/bench/bench_report_memory crlf 64
	./$(BUILD)/bench/bench_objects 1000000
	./$(BUILD)/bench/bench_latency

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD) build-windows
