#pragma once
// What the tests need to know of the platform they run on.

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <fstream>
#endif

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// A file another program keeps open for reading and writing, as an editor or a virus scanner does (on
// Windows without leave to delete or rename it, as most programs open files), until destroyed.
class HeldOpen {
 public:
  explicit HeldOpen(const std::filesystem::path& file)
#ifdef _WIN32
      : handle_(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
  }
  ~HeldOpen() {
    CloseHandle(handle_);
  }
#else
      : stream_(file, std::ios::in | std::ios::out | std::ios::binary) {
  }
#endif
  HeldOpen(const HeldOpen&) = delete;
  HeldOpen& operator=(const HeldOpen&) = delete;

 private:
#ifdef _WIN32
  HANDLE handle_;
#else
  std::fstream stream_;
#endif
};

// A file the test process cannot read while this lives: held open by another program that shares it
// with nobody on Windows, without any permission elsewhere (which root reads all the same: works()).
class Unreadable {
 public:
  explicit Unreadable(const std::filesystem::path& file) : file_(file) {
#ifdef _WIN32
    handle_ =
        CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
    std::filesystem::permissions(file, std::filesystem::perms::none);
#endif
  }
  ~Unreadable() {
#ifdef _WIN32
    CloseHandle(handle_);
#else
    std::filesystem::permissions(file_,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
  }
  Unreadable(const Unreadable&) = delete;
  Unreadable& operator=(const Unreadable&) = delete;
#ifdef _WIN32
  bool works() const {
    return handle_ != INVALID_HANDLE_VALUE;
  }
#else
  bool works() const {
    return geteuid() != 0;
  }
#endif

 private:
  std::filesystem::path file_;
#ifdef _WIN32
  HANDLE handle_;
#endif
};
