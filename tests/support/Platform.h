#pragma once
// What the tests need to know of the platform they run on.

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// After windows.h.
#include <aclapi.h>

#include <memory>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
extern char** environ;
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

// A program of this build, from the folder of the running test program, started with the arguments
// (words without blanks or quotes, none ending in a backslash) and running beside the test until wait().
class SideProgram {
 public:
  SideProgram(const std::string& name, const std::vector<std::string>& args) {
#ifdef _WIN32
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring program =
        (std::filesystem::path(std::wstring(self, n)).parent_path() / (name + ".exe")).wstring();
    std::wstring line = L"\"" + program + L"\"";
    for (const auto& a : args) {
      // In the code page the program's main() reads its arguments in.
      std::wstring wide(a.size(), L'\0');
      wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, a.data(), static_cast<int>(a.size()),
                                                          wide.data(), static_cast<int>(wide.size()))));
      line += L" \"" + wide + L"\"";
    }
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                       &pi)) {
      CloseHandle(pi.hThread);
      process_ = pi.hProcess;
    }
#else
    const std::string program =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
#endif
  }
  ~SideProgram() {
    (void)wait();
  }
  SideProgram(const SideProgram&) = delete;
  SideProgram& operator=(const SideProgram&) = delete;

  // Its exit code once it has ended; -1 when it could not be started or did not end by itself.
  int wait() {
#ifdef _WIN32
    if (process_ == nullptr) return code_;
    DWORD code = 0;
    WaitForSingleObject(process_, INFINITE);
    if (GetExitCodeProcess(process_, &code)) code_ = static_cast<int>(code);
    CloseHandle(process_);
    process_ = nullptr;
#else
    if (pid_ < 0) return code_;
    int status = 0;
    pid_t ended;
    while ((ended = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    if (ended == pid_ && WIFEXITED(status)) code_ = WEXITSTATUS(status);
    pid_ = -1;
#endif
    return code_;
  }

 private:
  int code_ = -1;
#ifdef _WIN32
  HANDLE process_ = nullptr;
#else
  pid_t pid_ = -1;
#endif
};

// Whether only the user the tests run as may read or write a file: mode 0600, or on Windows an access
// list of one entry for that user, nothing inherited from the folder. Wine takes access lists and
// forgets them (it answers with the folder's): there it cannot be known, and counts as true.
inline bool ownerOnly(const std::filesystem::path& file) {
#ifdef _WIN32
  if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) return true;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &sd) != ERROR_SUCCESS)
    return false;
  const std::unique_ptr<void, decltype(&LocalFree)> free(sd, &LocalFree);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  void* ace = nullptr;
  if (!dacl || !GetSecurityDescriptorControl(sd, &control, &revision) || !(control & SE_DACL_PROTECTED) ||
      dacl->AceCount != 1 || !GetAce(dacl, 0, &ace))
    return false;
  const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
  HANDLE token = nullptr;
  if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
      !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
    return false;
  TOKEN_USER user[16];
  DWORD size = sizeof user;
  const bool known = GetTokenInformation(token, TokenUser, user, size, &size);
  CloseHandle(token);
  return known && EqualSid(user[0].User.Sid, const_cast<DWORD*>(&allowed->SidStart));
#else
  return (std::filesystem::status(file).permissions() & std::filesystem::perms::all) ==
         (std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
#endif
}
