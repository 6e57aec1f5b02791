#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it at the end of the test.

#include <filesystem>
#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as a Windows-1251 path, ending with a separator.
  std::string cp1251() const;

 private:
  std::filesystem::path path_;
};

// Writes bytes to a file, creating its folders.
void writeBytes(const std::filesystem::path& file, const std::string& bytes);
std::string readBytes(const std::filesystem::path& file);
