// Where REPORT and INI live: beside the executable when the program may write there, else in the
// user's data folder, which is made when missing.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "app/DataFolder.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

TEST(DataFolderTest, BesideTheExecutableWhenWritableElseTheUsersDataFolder) {
  TempDir exe, home;
#ifdef _WIN32
  // Qt's data folder of the user is %LOCALAPPDATA% there (not the roaming profile).
  const fs::path user = fs::path(_wgetenv(L"LOCALAPPDATA")) / "ostraftp";
  const fs::path unwritable = "Z:\\proc", system = fs::path(_wgetenv(L"ProgramFiles")) / "ostraftp";
  fs::create_directories(system);
#else
  const QByteArray savedHome = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.path().string()));
  const fs::path user = home.path() / "ostraftp";
  const fs::path unwritable = "/proc", system = "/usr/bin";
#endif
  const struct {
    const char* name;
    fs::path exe, expected;
  } cases[] = {
      {"a folder the program may write", exe.path(), exe.path()},
      {"a folder nobody may write (not even root)", unwritable, user},
      {"a folder of the system, even when writable", system, user},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(user);
    std::string why;
    const auto folder = dataFolder(QString::fromStdWString(c.exe.wstring()), why);
    ASSERT_TRUE(folder.has_value()) << why;
    EXPECT_EQ(*folder, *fsys::fromNativePath(c.expected) + fsys::kSeparator);
    EXPECT_TRUE(fs::is_directory(c.expected / "INI"));
    EXPECT_TRUE(fs::is_directory(c.expected / "REPORT"));
    if (c.expected != c.exe) {
      EXPECT_FALSE(fs::exists(c.exe / "INI")) << "nothing is written beside the executable";
      EXPECT_FALSE(fs::exists(c.exe / "REPORT"));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(c.expected / "INI"), fs::directory_iterator()), 0)
        << "the writing test leaves nothing behind";
  }
#ifdef _WIN32
  fs::remove_all(system);
#else
  // A user data folder that cannot be made either: the reason, and no folder. (Windows names the user's
  // folder itself, whatever the environment says.)
  qputenv("XDG_DATA_HOME", "/proc/ostraftp-none");
  std::string why;
  EXPECT_FALSE(dataFolder(QStringLiteral("/proc"), why).has_value());
  EXPECT_EQ(why.rfind(cp1251::text("Не удалось создать папку данных программы "), 0), 0u) << why;
  if (savedHome.isNull()) {
    qunsetenv("XDG_DATA_HOME");
  } else {
    qputenv("XDG_DATA_HOME", savedHome);
  }
#endif
}

}  // namespace
