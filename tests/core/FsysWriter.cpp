// A second copy of the program's file writes, for the test of two processes writing side by side:
//   fsys_writer FILE LETTER SIZE COUNT PARTNER
// writes SIZE times LETTER to FILE (a Windows-1251 path) with fsys::writeFileAtomic, waits until the
// partner's file is there (so that both write at once however late each started), then writes it COUNT
// times more, reading it back after each write. Exit code 0: every write done and read back as written;
// 1: a write failed; 2: the file held other bytes; 3: bad arguments or no partner within a minute.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/FileSys.h"

int main(int argc, char** argv) {
  if (argc != 6 || std::string(argv[2]).size() != 1) return 3;
  const std::string file = argv[1], partner = argv[5];
  const std::string content(static_cast<size_t>(std::atoi(argv[3])), argv[2][0]);
  const int count = std::atoi(argv[4]);
  if (!fsys::writeFileAtomic(file, content, false)) return 1;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!fsys::readFile(partner, 1)) {
    if (std::chrono::steady_clock::now() > giveUp) return 3;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  int failed = 0, foreign = 0;
  for (int i = 0; i < count; ++i) {
    if (!fsys::writeFileAtomic(file, content, false)) {
      ++failed;
    } else if (fsys::readFile(file, content.size() + 1) != content) {
      ++foreign;
    }
  }
  std::fprintf(stderr, "%s: %d writes, %d failed, %d read back other bytes\n", argv[1], count, failed,
               foreign);
  return failed > 0 ? 1 : foreign > 0 ? 2 : 0;
}
