#include "core/FileSys.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <system_error>

#include "core/Cp1251.h"
#include "core/Text.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// After windows.h.
#include <aclapi.h>

#include <memory>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fsys {

std::filesystem::path nativePath(std::string_view cp1251Path) {
  const std::string utf8 = cp1251::toUtf8(cp1251Path);
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::optional<std::string> fromNativePath(const std::filesystem::path& path) {
  const std::u8string u8 = path.u8string();
  return cp1251::fromUtf8(std::string_view(reinterpret_cast<const char*>(u8.data()), u8.size()));
}

bool isDirectory(std::string_view cp1251Path) {
  std::error_code ec;
  return !cp1251Path.empty() && std::filesystem::is_directory(nativePath(cp1251Path), ec);
}

bool createDirectory(std::string_view cp1251Path) {
  std::error_code ec;
  const auto p = nativePath(cp1251Path);
  std::filesystem::create_directory(p, ec);
  return !ec || std::filesystem::is_directory(p, ec);
}

namespace {

// "CON", "con.txt", "LPT1 .log": Windows opens the device, whatever the folder.
bool deviceName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

bool safeName(std::string_view name) {
  // Windows strips trailing blanks and dots: ".. " would name the parent folder there. Control bytes
  // can neither name a Windows file nor go into an FTP command.
  return !name.empty() && name.back() != ' ' && name.back() != '.' &&
         name.find_first_of(std::string_view("/\\:", 3)) == std::string_view::npos &&
         !text::hasControlBytes(name) && !deviceName(name);
}

bool setCurrentDirectory(std::string_view cp1251Path) {
  if (cp1251Path.empty()) return false;
  std::error_code ec;
  std::filesystem::current_path(nativePath(cp1251Path), ec);
  return !ec;
}

std::optional<std::string> currentDirectory() {
  std::error_code ec;
  const auto p = std::filesystem::current_path(ec);
  if (ec) return std::nullopt;
  return fromNativePath(p);
}

std::string absolutePath(std::string_view cp1251Path, std::string_view cp1251Base) {
  const auto path = nativePath(cp1251Path);
  if (cp1251Path.empty() || cp1251Base.empty() || path.is_absolute()) return std::string(cp1251Path);
  // Both parts are Windows-1251 texts, so their join is one too.
  return fromNativePath(nativePath(cp1251Base) / path).value_or(std::string(cp1251Path));
}

std::optional<std::vector<DirEntry>> listDirectory(std::string_view cp1251Path) {
  std::error_code ec;
  std::filesystem::directory_iterator it(nativePath(cp1251Path), ec);
  if (ec) return std::nullopt;
  std::vector<DirEntry> out;
  for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (ec) return std::nullopt;
    const auto name = fromNativePath(it->path().filename());
    if (!name || temporaryFile(*name)) continue;
    DirEntry e;
    e.name = *name;
    std::error_code ec2;
    const bool dir = it->is_directory(ec2);
#ifdef _WIN32
    const DWORD a = GetFileAttributesW(it->path().c_str());
    e.attributes = a == INVALID_FILE_ATTRIBUTES ? (dir ? kAttrDirectory : kAttrNormal) : a;
#else
    // Dot-names are the hidden entries here.
    e.attributes = dir ? kAttrDirectory : kAttrNormal;
    if (!e.name.empty() && e.name[0] == '.') e.attributes |= kAttrHidden;
#endif
    if (!dir) e.size = it->file_size(ec2);
    const auto t = it->last_write_time(ec2);
    if (!ec2) {
      e.lastWrite = std::chrono::system_clock::to_time_t(
          std::chrono::time_point_cast<std::chrono::system_clock::duration>(
              std::chrono::file_clock::to_sys(t)));
    }
    out.push_back(std::move(e));
  }
  return out;
}

std::optional<std::string> readFile(std::string_view cp1251Path, size_t maxBytes) {
  std::ifstream in(nativePath(cp1251Path), std::ios::binary);
  if (!in) return std::nullopt;
  // Read in pieces: the buffer grows with the file, never to maxBytes for a small one.
  std::string bytes;
  char piece[65536];
  while (bytes.size() < maxBytes && in) {
    in.read(piece, static_cast<std::streamsize>(std::min(sizeof piece, maxBytes - bytes.size())));
    bytes.append(piece, static_cast<size_t>(in.gcount()));
  }
  if (in.bad()) return std::nullopt;
  return bytes;
}

namespace {

constexpr std::string_view kTemporaryPrefix = ".ostraftp-";
constexpr std::string_view kTemporarySuffix = ".tmp";

// A temporary file last written longer ago than this was left by a write whose program was killed.
constexpr auto kStaleAge = std::chrono::hours(24);

unsigned long processId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(::getpid());
#endif
}

// This run of the program: its process id, which no other running copy on this machine has, and a
// random number, which tells it from a copy on another machine and from an earlier run of the same id.
const std::string& runName() {
  static const std::string name = [] {
    uint32_t r = static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
    try {
      std::random_device device;
      r ^= device();
    } catch (const std::exception&) {
      // No random source: the clock alone.
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "%lu-%08x", processId(), static_cast<unsigned>(r));
    return std::string(buf);
  }();
  return name;
}

// Removes the stale temporary files of a folder, once per run and folder.
void removeStaleTemporaries(const std::filesystem::path& folder) {
  static std::mutex lock;
  static std::set<std::filesystem::path> done;
  {
    const std::lock_guard<std::mutex> hold(lock);
    if (!done.insert(folder).second) return;
  }
  const auto now = std::filesystem::file_time_type::clock::now();
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const auto name = fromNativePath(it->path().filename());
    std::error_code ec2;
    if (!name || !temporaryFile(*name) || !it->is_regular_file(ec2)) continue;
    const auto written = it->last_write_time(ec2);
    if (!ec2 && now - written > kStaleAge) std::filesystem::remove(it->path(), ec2);
  }
}

// The temporary file: not created (a file of its name exists or the folder refuses it), created but not
// written whole, or written whole and flushed to disk.
enum class Written { NotCreated, Failed, Flushed };

#ifdef _WIN32
// Leaves an open file to the user the process runs as: one entry granting that user full access, and
// nothing inherited from the folder (which may let every user of the machine read it). Set on the open
// handle, before any byte reaches the file.
bool restrictToOwner(HANDLE file) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  (void)GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  // Whole TOKEN_USER objects, so that the buffer is aligned for one.
  const auto user = std::make_unique<TOKEN_USER[]>(size / sizeof(TOKEN_USER) + 1);
  const bool known = size > 0 && GetTokenInformation(token, TokenUser, user.get(), size, &size);
  CloseHandle(token);
  if (!known) return false;
  const PSID sid = user[0].User.Sid;
  const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
  const auto acl = std::make_unique<ACL[]>(aclSize / sizeof(ACL) + 1);
  return InitializeAcl(acl.get(), aclSize, ACL_REVISION) &&
         AddAccessAllowedAce(acl.get(), ACL_REVISION, FILE_ALL_ACCESS, sid) &&
         SetSecurityInfo(file, SE_FILE_OBJECT,
                         DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                         acl.get(), nullptr) == ERROR_SUCCESS;
}

// Whether the file's volume keeps access lists (FAT on a USB stick does not: nothing to restrict there).
bool keepsAccessLists(HANDLE file) {
  DWORD flags = 0;
  return GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) &&
         (flags & FILE_PERSISTENT_ACLS);
}

// CREATE_NEW: a new file, never one that exists. Closed on every path.
Written writeFlushed(const std::filesystem::path& temp, std::string_view bytes, bool ownerOnly) {
  const DWORD access = GENERIC_WRITE | (ownerOnly ? WRITE_DAC : 0);
  const HANDLE h = CreateFileW(temp.c_str(), access, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Written::NotCreated;
  // Restricted before any secret reaches it; the rename keeps the rights.
  bool ok = !ownerOnly || restrictToOwner(h) || !keepsAccessLists(h);
  for (size_t done = 0; ok && done < bytes.size();) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 30));
    DWORD written = 0;
    ok = WriteFile(h, bytes.data() + done, piece, &written, nullptr) && written > 0;
    done += written;
  }
  ok = ok && FlushFileBuffers(h);
  return CloseHandle(h) && ok ? Written::Flushed : Written::Failed;
}

// One step that replaces the target and is on disk when it returns. Fails when another program holds
// the target open without letting it be replaced.
bool replace(const std::filesystem::path& temp, const std::filesystem::path& target) {
  return MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}
#else
bool writeAll(int fd, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// O_EXCL: a new file, never one that exists (nor a link planted under its name). Closed on every path.
Written writeFlushed(const std::filesystem::path& temp, std::string_view bytes, bool ownerOnly) {
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0666);
  if (fd < 0) return Written::NotCreated;
  const bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
  return (::close(fd) == 0) && ok ? Written::Flushed : Written::Failed;
}

bool replace(const std::filesystem::path& temp, const std::filesystem::path& target) {
  std::error_code ec;
  std::filesystem::rename(temp, target, ec);
  return !ec;
}
#endif

}  // namespace

std::string temporaryName() {
  static std::atomic<uint64_t> given{0};
  return std::string(kTemporaryPrefix) + runName() + "-" + std::to_string(++given) +
         std::string(kTemporarySuffix);
}

bool temporaryFile(std::string_view name) {
  return name.size() > kTemporaryPrefix.size() + kTemporarySuffix.size() &&
         name.starts_with(kTemporaryPrefix) && name.ends_with(kTemporarySuffix);
}

bool writeFileAtomic(std::string_view cp1251Path, std::string_view bytes, bool ownerOnly) {
  const auto target = nativePath(cp1251Path);
  const auto temp = target.parent_path() / nativePath(temporaryName());
  const Written written = writeFlushed(temp, bytes, ownerOnly);
  if (written == Written::NotCreated) return false;  // what stands under that name is not ours
  if (written == Written::Flushed && replace(temp, target)) {
    removeStaleTemporaries(target.parent_path());
    return true;
  }
  std::error_code ec;
  std::filesystem::remove(temp, ec);
  return false;
}

std::string textModeRead(std::string_view diskBytes) {
  std::string out;
  out.reserve(diskBytes.size());
  for (size_t i = 0; i < diskBytes.size(); ++i) {
    if (diskBytes[i] == '\r' && i + 1 < diskBytes.size() && diskBytes[i + 1] == '\n') continue;
    out += diskBytes[i];
  }
  return out;
}

std::string textModeWrite(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

namespace {

CalendarTime fromTm(const std::tm& t) {
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

bool plausible(const CalendarTime& c) {
  static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return c.year >= 1601 && c.year <= 30827 && c.month >= 1 && c.month <= 12 && c.day >= 1 &&
         c.day <= kDays[c.month - 1] && c.hour >= 0 && c.hour <= 23 && c.minute >= 0 && c.minute <= 59 &&
         c.second >= 0 && c.second <= 60;
}

}  // namespace

std::optional<CalendarTime> localTime(std::time_t t) {
  std::tm out{};
#ifdef _WIN32
  if (localtime_s(&out, &t) != 0) return std::nullopt;
#else
  if (!localtime_r(&t, &out)) return std::nullopt;
#endif
  return fromTm(out);
}

std::optional<CalendarTime> utcToLocal(const CalendarTime& utc) {
  if (!plausible(utc)) return std::nullopt;
  std::tm in{};
  in.tm_year = utc.year - 1900;
  in.tm_mon = utc.month - 1;
  in.tm_mday = utc.day;
  in.tm_hour = utc.hour;
  in.tm_min = utc.minute;
  in.tm_sec = utc.second;
#ifdef _WIN32
  const std::time_t t = _mkgmtime(&in);
#else
  const std::time_t t = timegm(&in);
#endif
  if (t == static_cast<std::time_t>(-1) && !(utc.year == 1969 && utc.month == 12 && utc.day == 31)) {
    return std::nullopt;
  }
  return localTime(t);
}

}  // namespace fsys
