// The listings and file transfers of the FTP session: the one open listing or file, walked or read whole.

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

#include "net/FtpConnection.h"
#include "net/FtpSessionParts.h"
#include "net/Ftp_fun.h"

using ftp::curlError;
using ftp::safeForCommand;

namespace {

bool hasWildcards(const std::string& s) {
  return s.find_first_of("*?") != std::string::npos;
}

// Wildcard match of a whole name: '*' any run, '?' one byte.
bool globMatch(const char* p, const char* s) {
  while (*p) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (!*p) return true;
      for (; *s; ++s) {
        if (globMatch(p, s)) return true;
      }
      return false;
    }
    if (!*s || (*p != '?' && *p != *s)) return false;
    ++p, ++s;
  }
  return !*s;
}

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// --- Listings.

// A listing or a whole file on the first connection: the one way both are fetched. Too large a body is
// refused; a file the server began to send and cut short sets cut.
bool FtpSession::fetchBody(const std::string& path, Ahead::Kind kind, ftp::Body& body, uint32_t* cut) {
  ftp::Connection& c = *connection_;
  std::string sent;
  if (!wire(path, sent)) return false;
  if (kind == Ahead::Kind::Listing) {
    c.prepareListing(timeouts_, sent);
  } else {
    c.prepareDownload(timeouts_, sent);
  }
  long code = 0;
  const CURLcode rc = c.perform(code);
  body = std::move(c.body);
  if (kind == Ahead::Kind::Listing) {
    if (rc != CURLE_OK) return fail(body.tooLarge ? ftp::kErrorInternetExtendedError : curlError(rc, code));
    return true;
  }
  const Download d = downloadOutcome(c, rc, code, path, body);
  if (d.cut && cut) {
    *cut = d.error;
    return true;
  }
  return d.error == 0 || fail(d.error);
}

FtpSession::Download FtpSession::downloadOutcome(const ftp::Connection& c, int curlCode, long replyCode,
                                                 const std::string& path, const ftp::Body& body) const {
  const auto rc = static_cast<CURLcode>(curlCode);
  if (body.tooLarge) return {ftp::kErrorFileTooLarge, false};
  if (rc != CURLE_OK) return {curlError(rc, replyCode), c.transferStarted()};
  // libcurl asks no SIZE first: the sizes the server gave are the check that every byte came.
  const auto listed = listedSize(path);
  if ((body.announced && *body.announced != body.bytes.size()) || (listed && *listed != body.bytes.size()))
    return {ftp::kErrorInternetConnectionAborted, true};
  return {};
}

bool FtpSession::tooLargeAsListed(const std::string& path) const {
  const auto listed = listedSize(path);
  return listed && *listed > ftp::kMaxDownloadBytes;
}

std::optional<uint64_t> FtpSession::listedSize(const std::string& path) const {
  if (!known_) return std::nullopt;
  if (const auto it = known_->sizes.find(path); it != known_->sizes.end()) return it->second;
  const auto it = known_->listings.find(ftp::parentOf(path));
  if (it == known_->listings.end()) return std::nullopt;
  for (const auto& e : *it->second) {
    if (e.attributes == ftp::kAttrNormal && e.name == baseName(path)) return e.size;
  }
  return std::nullopt;
}

bool FtpSession::listDirectory(const std::string& dir, std::vector<ftp::FindData>& out) {
  bool missed = false;
  if (statWorth(dir)) {
    ftp::Connection& c = *connection_;
    std::string sent;
    if (!wire(dir, sent)) return false;
    long code = 0;
    const CURLcode rc = c.command(timeouts_, {"STAT " + sent}, code);
    const StatAnswer a = readStat(c, dir, rc, code, out);
    if (a == StatAnswer::Lost) return failed(rc, code);
    if (a == StatAnswer::Listed) {
      listedByStat(dir);
      return true;
    }
    missed = a == StatAnswer::OldWay;
  }
  if (!ensureFeatures()) return false;
  ftp::Body body;
  if (!fetchBody(dir, Ahead::Kind::Listing, body)) return false;
  if (!parseListing(body.bytes, out)) return fail(ftp::kErrorInternetExtendedError);
  if (missed) statMissed(dir, out);
  return true;
}

bool FtpSession::parseListing(const std::string& body, std::vector<ftp::FindData>& out) const {
  if (connection_->hasMlst) {
    out = ftp::parseMlsd(body);
    return true;
  }
  bool errorText = false;
  out = ftp::parseList(body, clock_(), &errorText);
  return !errorText;
}

bool FtpSession::findOne(const std::string& path, std::vector<ftp::FindData>& out) {
  ftp::Connection& c = *connection_;
  out.clear();
  if (!ensureFeatures()) return false;
  if (const auto listed = knownListing(ftp::parentOf(path))) {
    // The directory was just listed in this action: the entry is as listed there.
    for (const auto& e : *listed) {
      if (e.name == baseName(path)) out.push_back(e);
    }
    lastError_ = 0;
    return true;
  }
  if (c.hasMlst) {
    // MLST answers on the control connection: no data connection for one file.
    std::string sent;
    if (!wire(path, sent)) return false;
    long code = 0;
    const CURLcode rc = c.command(timeouts_, {"MLST " + sent}, code);
    if (rc != CURLE_OK) return failed(rc, code);
    if (code == 421) return fail(ftp::kErrorInternetTimeout);
    if (code < 200 || code >= 300) return true;  // no such file: an empty result
    for (const auto& line : c.replies) {
      ftp::FindData e;
      if (!line.empty() && line[0] == ' ' && ftp::parseMlsxLine(line.substr(1), e)) {
        // The name asked for, not the name in the reply: replies may double 0xFF.
        e.name = baseName(path);
        out.push_back(std::move(e));
      }
    }
    return true;
  }
  // LIST of the file itself, or of its folder where a server would not take the path literally.
  const bool literal = ftp::listsLiterally(path);
  const std::string target = literal ? path : ftp::parentOf(path);
  std::vector<ftp::FindData> listed;
  if (!listDirectory(target, listed)) {
    // A server that refuses LIST of a missing name has answered: the file is not there.
    return GetLastError() == ftp::kErrorInternetExtendedError ? (out.clear(), true) : false;
  }
  if (!literal) remember(target, std::make_shared<const std::vector<ftp::FindData>>(listed));
  const std::string name = baseName(path);
  for (auto& e : listed) {
    if (baseName(e.name) == name) {
      e.name = name;
      out.push_back(std::move(e));
    }
  }
  return true;
}

void FtpSession::rememberSize(const std::string& path, const std::vector<ftp::FindData>& found) {
  if (!known_) return;
  for (const auto& e : found) {
    if (e.attributes == ftp::kAttrNormal) known_->sizes[path] = e.size;
  }
}

HINTERNET FtpSession::FtpFindFirstFile(HINTERNET connection, const std::string& pattern,
                                       ftp::FindData& entry) {
  if (!connectionValid(connection)) return kNoHandle;
  if (!safeForCommand(pattern)) return fail(ftp::kErrorInvalidParameter), kNoHandle;
  auto t = std::make_unique<Transfer>();
  t->kind = Transfer::Find;
  const bool all = pattern.empty() || pattern == "*.*" || pattern == "*";
  if (all || hasWildcards(pattern)) {
    uint32_t lost = 0;
    if (const auto listed = knownListing(connection_->cwd, &lost)) {
      t->entries = listed;
    } else if (lost != 0) {
      return fail(lost), kNoHandle;
    } else {
      std::vector<ftp::FindData> entries;
      if (!listDirectory(connection_->cwd, entries)) return kNoHandle;
      t->entries = std::make_shared<const std::vector<ftp::FindData>>(std::move(entries));
      remember(connection_->cwd, t->entries);
      t->entries = exactTimes(connection_->cwd, t->entries);
    }
    if (!all) {
      std::vector<ftp::FindData> matching;
      for (const auto& e : *t->entries) {
        if (globMatch(pattern.c_str(), e.name.c_str())) matching.push_back(e);
      }
      t->entries = std::make_shared<const std::vector<ftp::FindData>>(std::move(matching));
    }
  } else {
    std::vector<ftp::FindData> found;
    if (!findOne(resolve(pattern), found)) return kNoHandle;
    rememberSize(resolve(pattern), found);  // a download of the file in this action must match it
    t->entries = std::make_shared<const std::vector<ftp::FindData>>(std::move(found));
  }
  if (t->entries->empty()) return fail(ftp::kErrorNoMoreFiles), kNoHandle;
  entry = (*t->entries)[0];
  t->next = 1;
  return openTransfer(std::move(t));
}

bool FtpSession::InternetFindNextFile(HINTERNET find, ftp::FindData& entry) {
  if (!transferValid(find, Transfer::Find)) return false;
  if (transfer_->next >= transfer_->entries->size()) return fail(ftp::kErrorNoMoreFiles);
  entry = (*transfer_->entries)[transfer_->next++];
  lastError_ = 0;
  return true;
}

// --- Files.

HINTERNET FtpSession::FtpOpenFile(HINTERNET connection, const std::string& name, uint32_t access) {
  if (!connectionValid(connection)) return kNoHandle;
  if (name.empty() || !safeForCommand(name)) return fail(ftp::kErrorInvalidParameter), kNoHandle;
  const std::string path = resolve(name);
  auto t = std::make_unique<Transfer>();
  if (access == ftp::kGenericWrite) {
    t->kind = Transfer::Write;
    t->path = path;
    return openTransfer(std::move(t));
  }
  if (access != ftp::kGenericRead) return fail(ftp::kErrorInvalidParameter), kNoHandle;
  t->kind = Transfer::Read;
  uint32_t refused = 0;
  if (takeKnownFile(path, t->bytes, refused, t->readError)) {
    if (refused != 0) return fail(refused), kNoHandle;
    return openTransfer(std::move(t));
  }
  if (tooLargeAsListed(path)) return fail(ftp::kErrorFileTooLarge), kNoHandle;
  ftp::Body body;
  if (!fetchBody(path, Ahead::Kind::File, body, &t->readError)) return kNoHandle;
  t->bytes = std::move(body.bytes);
  return openTransfer(std::move(t));
}

uint32_t FtpSession::FtpGetFileSize(HINTERNET file, uint32_t* high) {
  if (!transferValid(file, Transfer::Read)) return 0xFFFFFFFFu;
  if (transfer_->readError != 0) return fail(transfer_->readError), 0xFFFFFFFFu;
  const uint64_t size = transfer_->bytes.size();
  if (high) *high = static_cast<uint32_t>(size >> 32);
  lastError_ = 0;
  return static_cast<uint32_t>(size);
}

bool FtpSession::InternetReadFile(HINTERNET file, void* buffer, uint32_t size, uint32_t* read) {
  if (read) *read = 0;
  if (!transferValid(file, Transfer::Read)) return false;
  if (transfer_->readError != 0) return fail(transfer_->readError);
  const std::string& b = transfer_->bytes;
  const size_t k = std::min<size_t>(size, b.size() - transfer_->next);
  if (k > 0) std::memcpy(buffer, b.data() + transfer_->next, k);
  transfer_->next += k;
  if (read) *read = static_cast<uint32_t>(k);
  lastError_ = 0;
  return true;
}

bool FtpSession::InternetWriteFile(HINTERNET file, const void* data, uint32_t size, uint32_t* written) {
  if (written) *written = 0;
  if (!transferValid(file, Transfer::Write)) return false;
  bool started = false;
  if (!upload(data, size, started)) return false;
  if (written) *written = size;
  return true;
}

bool FtpSession::upload(const void* data, size_t size, bool& started) {
  started = false;
  ftp::Connection& c = *connection_;
  std::string sent;
  if (!wire(transfer_->path, sent)) return false;
  forget();
  // Under TLS 1.3 the upload awaits the server's session ticket (see Connection::prepareUpload); a server
  // that sends none gets a new control connection after each upload instead.
  const bool tls13 = c.tls != ftp::TlsMode::None && c.tlsVersion == ftp::TlsVersion::Tls13;
  // The first write creates the file; later writes of the same handle add to it.
  c.prepareUpload(timeouts_, sent, std::string(static_cast<const char*>(data), size), transfer_->written,
                  tls13 && facts_.ticketOnUpload);
  long code = 0;
  const CURLcode rc = c.perform(code);
  started = c.transferStarted();
  if (tls13 && !c.ticketCame()) {
    facts_.ticketOnUpload = false;  // not awaited again on this server
    c.renew();
  }
  if (rc != CURLE_OK) return failed(rc, code);
  transfer_->written = true;
  lastError_ = 0;
  return true;
}

class FtpSession::ClosesTransfer {
 public:
  explicit ClosesTransfer(FtpSession& s) : s_(s) {}
  ~ClosesTransfer() {
    const uint32_t error = s_.lastError_;
    s_.InternetCloseHandle(s_.TransferHandle);
    s_.TransferHandle = kNoHandle;
    s_.lastError_ = error;
  }
  ClosesTransfer(const ClosesTransfer&) = delete;
  ClosesTransfer& operator=(const ClosesTransfer&) = delete;

 private:
  FtpSession& s_;
};

FtpSession::WholeFile FtpSession::ReadWholeFile(const std::string& name, std::string& bytes) {
  bytes.clear();
  TransferHandle = FtpOpenFile(ConnectionHandle, name, ftp::kGenericRead);
  if (TransferHandle == kNoHandle)
    return GetLastError() == ftp::kErrorFileTooLarge ? WholeFile::TooLarge : WholeFile::OpenFailed;
  const ClosesTransfer close(*this);  // the error of a failed read stays for the caller
  uint32_t high = 0;
  const uint32_t size = FtpGetFileSize(TransferHandle, &high);
  if (size == 0xFFFFFFFFu || high != 0) return WholeFile::ReadFailed;
  if (size == 0) return WholeFile::Empty;
  bytes.assign(size, '\0');
  uint32_t total = 0;
  bool ok = true;
  while (ok && total < size) {
    uint32_t got = 0;
    ok = InternetReadFile(TransferHandle, bytes.data() + total, size - total, &got);
    if (got == 0) break;
    total += got;
  }
  if (!ok || total != size) {
    bytes.clear();
    return WholeFile::ReadFailed;
  }
  return WholeFile::Read;
}

FtpSession::WholeUpload FtpSession::WriteWholeFile(const std::string& name, std::string_view bytes) {
  TransferHandle = FtpOpenFile(ConnectionHandle, name, ftp::kGenericWrite);
  if (TransferHandle == kNoHandle) return WholeUpload::OpenFailed;
  const ClosesTransfer close(*this);  // the error of a failed upload stays for the caller
  bool started = false;
  if (upload(bytes.data(), bytes.size(), started)) return WholeUpload::Written;
  return started ? WholeUpload::WriteFailed : WholeUpload::OpenFailed;
}

FtpSession::Listing FtpSession::ForEachEntry(const std::string& pattern, ftp::FindData& entry,
                                             const std::function<bool(const ftp::FindData&)>& visit) {
  entry = ftp::FindData{};
  TransferHandle = FtpFindFirstFile(ConnectionHandle, pattern, entry);
  if (TransferHandle == kNoHandle) {
    return GetLastError() == ftp::kErrorNoMoreFiles ? Listing::Empty : Listing::Failed;
  }
  const ClosesTransfer close(*this);
  while (visit(entry) && InternetFindNextFile(TransferHandle, entry)) {
  }
  return Listing::Listed;
}
