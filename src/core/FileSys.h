#pragma once
// The one place that touches the local platform: paths made from Windows-1251 bytes, folders, whole-file
// reads and writes (binary and Windows text mode), and calendar-time conversion. Everything else of the
// program stays portable by going through here.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fsys {

// The separator of local paths.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// Native path for a Windows-1251 byte path (decoded to UTF-8 here, UTF-16 on Windows).
std::filesystem::path nativePath(std::string_view cp1251Path);

// Windows-1251 bytes for a native path; nothing when the path holds a character the code page lacks.
std::optional<std::string> fromNativePath(const std::filesystem::path& path);

bool isDirectory(std::string_view cp1251Path);

// Creates one folder level; false when it could not be created (an existing folder is not an error).
bool createDirectory(std::string_view cp1251Path);

// Whether a name from a server or a disk may be one component of a local path: not empty, not ending
// in a blank or a dot (so never "." or ".."), without "/", "\\", ":" or a control byte, and no Windows
// device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, also with an extension), so that it names the
// same file in the folder it is put in on every platform.
bool safeName(std::string_view name);

// Makes a folder the process's current directory; false when it cannot be entered.
bool setCurrentDirectory(std::string_view cp1251Path);

// The process's current directory; nothing when it cannot be read or Windows-1251 cannot hold it.
std::optional<std::string> currentDirectory();

// A path made absolute against base (itself absolute); an empty or absolute path, or any path when base
// is empty, comes back unchanged.
std::string absolutePath(std::string_view cp1251Path, std::string_view cp1251Base);

// Attribute values of local directory entries, as the listing callers test them.
inline constexpr uint32_t kAttrReadOnly = 0x01;
inline constexpr uint32_t kAttrHidden = 0x02;
inline constexpr uint32_t kAttrSystem = 0x04;
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;
inline constexpr uint32_t kAttrNormal = 0x80;

struct DirEntry {
  std::string name;  // Windows-1251
  uint32_t attributes = 0;
  uint64_t size = 0;
  std::time_t lastWrite = 0;
};

// The entries of a folder (without "." and ".."), in the order the file system gives them. A name that
// Windows-1251 cannot hold is left out: no path of the program could name it; so are the temporary files
// of whole-file writes (temporaryFile), whichever program run made them. Nothing when the folder cannot
// be read.
std::optional<std::vector<DirEntry>> listDirectory(std::string_view cp1251Path);

// Reads at most maxBytes bytes of a file in binary mode; nothing when it cannot be opened or read.
std::optional<std::string> readFile(std::string_view cp1251Path, size_t maxBytes);

// A new name for the temporary file of one whole-file write, beside its target in a local folder or on a
// server: ".ostraftp-<run>-<n>.tmp", where <run> is this run of the program (its process id and a number
// drawn at random when it starts, so that two copies never share one, not even when they run on two
// machines that write into one shared folder or server and their process ids meet) and n counts the
// names it gave. So no two writes ever share a temporary file. The name holds no part of the target's,
// so that a report list (which takes any name holding the object, line and kind) never takes it, nor
// does another program listing the folder.
std::string temporaryName();

// Whether a name is such a temporary file, of any run (also one killed half-way through its write).
bool temporaryFile(std::string_view name);

// Writes a whole file so that a crash or a full disk never leaves a half-written file: the bytes go to a
// new temporary file beside the target (temporaryName; never an existing file), are flushed to disk, and
// the temporary file is renamed over the target. With ownerOnly the file is readable and writable by its
// owner only (POSIX mode 0600; on Windows an access list granting the user alone, nothing inherited
// from the folder). Returns false, leaving any previous file whole, when any step fails.
// The first write of a run into a folder removes the temporary files that writes killed half-way left
// there more than a day before; a write under way is never that old, so none is taken from under it.
bool writeFileAtomic(std::string_view cp1251Path, std::string_view bytes, bool ownerOnly);

// Windows text mode: "rt" turns CR LF into LF, "wt" turns LF into CR LF. Done explicitly so that the
// bytes on disk and the byte counts are the same on every platform.
std::string textModeRead(std::string_view diskBytes);
std::string textModeWrite(std::string_view text);

// Broken-down calendar time as the program shows it.
struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const CalendarTime&) const = default;
};

// A UTC calendar time converted to the workstation's local time; nothing when it is not a valid time.
std::optional<CalendarTime> utcToLocal(const CalendarTime& utc);

// Seconds since the epoch -> local calendar time.
std::optional<CalendarTime> localTime(std::time_t t);

}  // namespace fsys
