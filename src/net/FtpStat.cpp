// Listings over the control connection: STAT <folder> answers with the folder's entries in "ls -l" form,
// in one round trip and with no data connection. Servers differ in what they answer for a path with
// blanks, a missing folder or an empty one (nothing, an error text, ls's complaints), so only an answer
// that lists entries and nothing else is taken; any other folder is listed the old way.

#include <curl/curl.h>

#include <algorithm>

#include "net/FtpConnection.h"
#include "net/FtpSessionParts.h"
#include "net/Ftp_fun.h"

namespace {
// Past this many bytes of reply lines a STAT that failed is taken as one too long, not as a dropped
// connection.
constexpr size_t kLongReply = 64 * 1024;
}  // namespace

bool FtpSession::statWorth(const std::string& dir) const {
  // Blanks pass until the server showed it cannot take them: a server that splits the path at them
  // answers with error lines, which are not taken.
  return !facts_.statRefused && ftp::safeForCommand(dir) && !facts_.statUnread.count(dir) &&
         dir.find_first_of("*?[]{}~\\") == std::string::npos &&
         !(facts_.statSplitsBlanks && dir.find_first_of(" \t") != std::string::npos);
}

FtpSession::StatAnswer FtpSession::readStat(const ftp::Connection& c, const std::string& dir, int curlCode,
                                            long replyCode, std::vector<ftp::FindData>& out) {
  // A reply too long for libcurl (300 KB) ends as a receive error after a long run of lines; the retry
  // after the reconnect lists the folder over a data connection.
  if (curlCode == CURLE_RECV_ERROR) {
    size_t received = 0;
    for (const auto& line : c.replies) received += line.size();
    if (received > kLongReply) facts_.statUnread.insert(dir);
  }
  if (curlCode != CURLE_OK || replyCode == 421) return StatAnswer::Lost;
  if (replyCode == 500 || replyCode == 502 || replyCode == 504) {
    facts_.statRefused = true;
    return StatAnswer::OldWay;
  }
  auto entries = ftp::parseStatListing(c.replies, clock_());
  if (!entries) return StatAnswer::OldWay;
  // STAT lists as "ls -a" and does not follow links, where vsftpd's LIST hides dot names and MLSD gives
  // a linked folder as a folder: such a folder is listed the old way.
  if (std::any_of(entries->begin(), entries->end(),
                  [](const ftp::FindData& e) { return e.name[0] == '.' || e.attributes == ftp::kAttrLink; }))
    return StatAnswer::Differs;
  // The data connection carries names as they are; the control connection is Telnet, where a server
  // may double 0xFF. A lone 0xFF proves the names come as they are; pairs alone could be doubled.
  if (!facts_.statRawFf) {
    bool ff = false;
    for (const auto& e : *entries) {
      if (e.name.find('\xff') == std::string::npos) continue;
      ff = true;
      if (ftp::hasOddFfRun(e.name)) facts_.statRawFf = true;
    }
    if (ff && !facts_.statRawFf) return StatAnswer::OldWay;
  }
  out = std::move(*entries);
  return StatAnswer::Listed;
}

bool FtpSession::timeWorth(const std::string& path) const {
  return connection_->hasMlst && ftp::safeForCommand(path) && statWorth(ftp::parentOf(path));
}

void FtpSession::statMissed(const std::string& dir, const std::vector<ftp::FindData>& listed) {
  if (!listed.empty() && dir.find_first_of(" \t") != std::string::npos) facts_.statSplitsBlanks = true;
}

void FtpSession::listedByStat(const std::string& dir) {
  if (known_ && (connection_->hasMlst || !facts_.featuresKnown)) known_->coarse.insert(dir);
}

void FtpSession::keepTime(const ftp::Connection& c, const std::string& path) {
  // "213 20090305143012": UTC to the second, as MLSD gives it.
  const auto lines = c.repliesWith(213);
  fsys::CalendarTime t;
  if (c.result == CURLE_OK && !lines.empty() &&
      ftp::parseUtcTime(std::string_view(lines.back()).substr(4), t))
    known_->times[path] = t;
}

FtpSession::Entries FtpSession::exactTimes(const std::string& dir, Entries entries) {
  if (!known_ || !known_->coarse.count(dir)) return entries;
  const auto isTime = [&](const Ahead& op) {
    return op.kind == Ahead::Kind::Time && ftp::parentOf(op.path) == dir;
  };
  const auto shown = [&](const std::string& path) {
    return std::any_of(known_->timePrefixes.begin(), known_->timePrefixes.end(),
                       [&](const std::string& p) { return path.compare(0, p.size(), p) == 0; });
  };
  // Names that begin with a path asked for (the alarm file's "…-alarm.txt.old") are asked now, together;
  // all of them when the features were not known as they were asked for.
  std::vector<std::string> unasked;
  for (const auto& e : *entries) {
    const std::string path = ftp::joinPath(dir, e.name);
    if (e.attributes != ftp::kAttrDirectory && !known_->timesAsked.count(path) && shown(path))
      unasked.push_back(path);
  }
  if (!unasked.empty() && !ensureFeatures()) return entries;
  if (!connection_->hasMlst) return entries;
  for (const auto& path : unasked) {
    Job j;
    j.op = {Ahead::Kind::Time, path};
    j.action = actionSerial_;
    if (!ftp::safeForCommand(path) || !wire(path, j.wire)) continue;
    known_->timesAsked.insert(path);
    queue_.push_back(std::move(j));
  }
  pump();
  std::vector<std::string> pending;
  for (const auto& j : queue_)
    if (isTime(j.op)) pending.push_back(j.op.path);
  eachUnderWay([&](const Job& j) {
    if (isTime(j.op)) pending.push_back(j.op.path);
  });
  for (const auto& path : pending) awaitFetch(Ahead::Kind::Time, path);
  std::shared_ptr<std::vector<ftp::FindData>> patched;
  for (size_t i = 0; i < entries->size(); ++i) {
    const auto t = known_->times.find(ftp::joinPath(dir, (*entries)[i].name));
    if (t == known_->times.end()) continue;
    if (!patched) patched = std::make_shared<std::vector<ftp::FindData>>(*entries);
    (*patched)[i].lastWrite = t->second;
    (*patched)[i].lastWriteValid = true;
  }
  return patched ? patched : entries;
}
