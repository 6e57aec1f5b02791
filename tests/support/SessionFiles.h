#pragma once
// Whole-file roads through the FTP operations, as the callers take them: open, size, one read, close;
// open for writing, one write, close. The checks of each step are part of every test that uses them.

#include <memory>
#include <optional>
#include <string>

#include "net/Ftp_fun.h"
#include "settings/SettingsFile.h"

// The file's bytes, or nothing when it cannot be opened (the session's last error tells why).
std::optional<std::string> downloadWhole(FtpSession& session, const std::string& name);
// True when the whole content was written.
bool uploadWhole(FtpSession& session, const std::string& name, const std::string& bytes);

// A session on settings whose one record is a loopback server, with short time-outs.
std::unique_ptr<FtpSession> loopbackSession(SettingsFile& settings, BrowseState& browse, Ui& ui, int32_t port,
                                            const std::string& user, const std::string& password,
                                            long timeout);
