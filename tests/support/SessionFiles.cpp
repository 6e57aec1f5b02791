#include "support/SessionFiles.h"

#include <gtest/gtest.h>

std::optional<std::string> downloadWhole(FtpSession& session, const std::string& name) {
  const HINTERNET h = session.FtpOpenFile(session.ConnectionHandle, name, ftp::kGenericRead);
  if (h == kNoHandle) return std::nullopt;
  uint32_t high = 99;
  const uint32_t size = session.FtpGetFileSize(h, &high);
  EXPECT_EQ(high, 0u);
  std::string buf(size + 1, '\0');
  uint32_t read = 0;
  EXPECT_TRUE(session.InternetReadFile(h, buf.data(), size, &read));
  EXPECT_EQ(read, size) << "the whole file in one call";
  EXPECT_TRUE(session.InternetCloseHandle(h));
  buf.resize(read);
  return buf;
}

bool uploadWhole(FtpSession& session, const std::string& name, const std::string& bytes) {
  const HINTERNET h = session.FtpOpenFile(session.ConnectionHandle, name, ftp::kGenericWrite);
  if (h == kNoHandle) return false;
  uint32_t written = 0;
  const bool ok = session.InternetWriteFile(h, bytes.data(), static_cast<uint32_t>(bytes.size()), &written);
  EXPECT_TRUE(session.InternetCloseHandle(h));
  return ok && written == bytes.size();
}

std::unique_ptr<FtpSession> loopbackSession(SettingsFile& settings, BrowseState& browse, Ui& ui, int32_t port,
                                            const std::string& user, const std::string& password,
                                            long timeout) {
  ConnectionRecord r;
  r.setName("test");
  r.setHost("127.0.0.1");
  r.setPort(port);
  r.setUser(user);
  r.setPassword(password);
  settings.setRecord(0, r);
  settings.setConnectionCount(1);
  settings.setCurrentConnection(0);
  auto session = std::make_unique<FtpSession>(settings, browse, ui);
  session->setTimeouts({timeout, timeout, timeout});
  session->setConnections(1);
  return session;
}
