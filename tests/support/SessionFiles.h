#pragma once
// Whole-file roads through the FTP operations, as the callers take them: open, size, one read, close;
// open for writing, one write, close. The checks of each step are part of every test that uses them.

#include <memory>
#include <optional>
#include <string>

#include "net/Ftp_fun.h"
#include "settings/SettingsFile.h"
#include "support/FtpServer.h"
#include "support/RecorderUi.h"

// What a test's FTP session stands on: the settings, browse state and recorder it is made with, and the
// server it talks to (the session goes before the server).
struct SessionParts {
  SettingsFile settings;
  BrowseState browse;
  RecorderUi ui;
  std::unique_ptr<FtpServer> server;
  std::unique_ptr<FtpSession> session;
};

// The file's bytes, or nothing when it cannot be opened (the session's last error tells why).
std::optional<std::string> downloadWhole(FtpSession& session, const std::string& name);
// True when the whole content was written.
bool uploadWhole(FtpSession& session, const std::string& name, const std::string& bytes);

// A session on settings whose one record is a loopback server, with short time-outs.
std::unique_ptr<FtpSession> loopbackSession(SettingsFile& settings, BrowseState& browse, Ui& ui, int32_t port,
                                            const std::string& user, const std::string& password,
                                            long timeout);
