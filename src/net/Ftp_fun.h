#pragma once
// The one FTP session of the program and the FTP operations it performs, on libcurl.
//
// The operations keep the names, arguments and results the callers are written against (handles, a
// success flag or handle, and a per-session last error). The values of the last error that callers read:
//   12002  time-out: the connection is lost, reconnect and retry
//   12030  connection aborted: the connection is lost, reconnect and retry
//   12003  the server answered with an error (directory or file missing)
//      18  a listing found no entries
//     223  a file larger than the download limit (refused before it is read)
//   12045  TLS: the server's certificate was neither verified nor trusted by the operator
//   12157  TLS: no protected connection (a failed handshake, AUTH TLS refused where TLS is required)
//   12158  the server logs in nobody without TLS, and the connection uses none
//
// libcurl never changes the server's directory on its own: every path it is given is absolute, and the
// directory changes the callers ask for are sent as CWD commands of our own, so the server really
// receives each one. The directory the callers entered is the base of relative names, also after
// libcurl silently replaced a connection the server had closed. Names with byte 0xFF reach each server
// exactly (net/FtpTelnet.h).

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/BrowseState.h"
#include "core/Clock.h"
#include "core/ReportKind.h"
#include "core/Ui.h"
#include "net/FtpListing.h"
#include "net/FtpTelnet.h"
#include "net/FtpTls.h"
#include "net/FtpTranscript.h"

class SettingsFile;
class TlsFile;
namespace ftp {
class Connection;
struct Body;
struct Reply;
}  // namespace ftp

using HINTERNET = uint32_t;  // 0 = no handle
inline constexpr HINTERNET kNoHandle = 0;

namespace ftp {
// "%s/%s" of a directory and a name, without doubling the slash of the root: how the session makes
// relative names absolute, and how paths below the login directory are built.
std::string joinPath(const std::string& dir, const std::string& name);
// The directory of an absolute path ("/" for "/a").
std::string parentOf(const std::string& path);

inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNoMoreFiles = 18;
inline constexpr uint32_t kErrorFileTooLarge = 223;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorInternetTimeout = 12002;
inline constexpr uint32_t kErrorInternetExtendedError = 12003;
inline constexpr uint32_t kErrorInternetNameNotResolved = 12007;
inline constexpr uint32_t kErrorInternetLoginFailure = 12015;
inline constexpr uint32_t kErrorInternetConnectionAborted = 12030;
inline constexpr uint32_t kErrorFtpTransferInProgress = 12110;
inline constexpr uint32_t kErrorTlsUntrusted = 12045;
inline constexpr uint32_t kErrorTlsFailed = 12157;
inline constexpr uint32_t kErrorTlsDemanded = 12158;

inline constexpr uint32_t kGenericRead = 0x80000000u;
inline constexpr uint32_t kGenericWrite = 0x40000000u;

// Files larger than this are refused rather than read into memory (223), as soon as a listing of this
// action or the server's 150 reply names a larger size.
inline constexpr uint64_t kMaxDownloadBytes = 256ull << 20;

// The session's connections at most, its first one included: listings and files a handler asks for
// next are fetched at once on all of them.
inline constexpr int kMaxConnections = 5;

// How long the session waits before it calls a connection lost (seconds).
struct Timeouts {
  long connect = 15;   // TCP connection and login
  long response = 30;  // a reply to a command
  long stall = 30;     // a data transfer that moves no byte
};
}  // namespace ftp

class FtpSession {
 public:
  // The session reads the current connection from settings at the moment of each open, and keeps
  // browse.Connected; messages and the hourglass go through ui.
  FtpSession(SettingsFile& settings, BrowseState& browse, Ui& ui);
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  HINTERNET SessionHandle = kNoHandle;     // internet session
  HINTERNET ConnectionHandle = kNoHandle;  // FTP connection to the current connection's host
  HINTERNET TransferHandle = kNoHandle;    // the one open listing or file read

  // Opens the session and connects to the current connection; tells the operator when it cannot.
  bool FtpOpen();
  // Closes and re-opens silently, then enters CurrentDirectory again; true only when that worked.
  bool FtpReconnect();
  // Closes the transfer, the connection and the session; harmless when nothing is open.
  void FtpClose();
  bool isOpen() const { return ConnectionHandle != kNoHandle; }
  // ObjectPath/ComputerDir/<kind code> of the browse state.
  std::string KindDirectory(ReportKind kind) const;
  std::string KindDirectory(ReportKind kind, const std::string& computerDir) const;  // of another line
  // Enters KindDirectory(kind) with one reconnect on a lost connection:
  // 0 = entered, 1 = the server refused the directory, 2 = the connection is lost.
  int EnterKindDirectory(ReportKind kind);

  // A whole file of the current directory, the one way every caller fetches one: open, size, read all of
  // it, the handle closed on every path. A transfer the server began and cut short (fewer bytes than its
  // 150 reply or this action's listing named, or a connection lost midway) is a failed read: the caller
  // never gets a partial file. After OpenFailed and ReadFailed, GetLastError() tells why.
  enum class WholeFile { Read, OpenFailed, Empty, ReadFailed, TooLarge };
  [[nodiscard]] WholeFile ReadWholeFile(const std::string& name, std::string& bytes);

  // A whole file uploaded (binary) under name in the current directory, the handle closed on every path.
  // OpenFailed: the server never began to take it (STOR refused, or the connection dropped or closed
  // with 421 before the server's 150); WriteFailed: it began and was not confirmed. GetLastError() tells why.
  enum class WholeUpload { Written, OpenFailed, WriteFailed };
  [[nodiscard]] WholeUpload WriteWholeFile(const std::string& name, std::string_view bytes);

  // The one way every caller walks a listing of the current directory (pattern as for FtpFindFirstFile):
  // each entry lands in entry and goes to visit, which returns false to stop early; the handle is closed
  // on every path. Empty: the directory has no entries at all (error 18); Failed: GetLastError() tells why.
  enum class Listing { Listed, Empty, Failed };
  [[nodiscard]] Listing ForEachEntry(const std::string& pattern, ftp::FindData& entry,
                                     const std::function<bool(const ftp::FindData&)>& visit);

  // --- The FTP operations.
  HINTERNET InternetOpen();
  HINTERNET InternetConnect(HINTERNET session, const std::string& host, int32_t port, const std::string& user,
                            const std::string& password);
  bool FtpGetCurrentDirectory(HINTERNET connection, std::string& directory);
  bool FtpSetCurrentDirectory(HINTERNET connection, const std::string& directory);
  // pattern "*.*" (or "*", or empty) lists the current directory; a name without wildcards looks up that
  // one file; other wildcard patterns filter the listing. Returns the listing handle with the first entry.
  HINTERNET FtpFindFirstFile(HINTERNET connection, const std::string& pattern, ftp::FindData& entry);
  bool InternetFindNextFile(HINTERNET find, ftp::FindData& entry);
  // Read access fetches the whole file (binary); write access prepares an upload (binary).
  HINTERNET FtpOpenFile(HINTERNET connection, const std::string& name, uint32_t access);
  uint32_t FtpGetFileSize(HINTERNET file, uint32_t* high);
  bool InternetReadFile(HINTERNET file, void* buffer, uint32_t size, uint32_t* read);
  bool InternetWriteFile(HINTERNET file, const void* data, uint32_t size, uint32_t* written);
  bool FtpCreateDirectory(HINTERNET connection, const std::string& path);
  // RNFR/RNTO: true when the server reports the file renamed (over an existing one where it allows it).
  bool FtpRenameFile(HINTERNET connection, const std::string& from, const std::string& to);
  bool FtpDeleteFile(HINTERNET connection, const std::string& name);
  bool InternetCloseHandle(HINTERNET handle);
  uint32_t GetLastError() const { return lastError_; }

  // One operator action (a click, a refresh). Within it, what the server answered answers the same
  // question again: a directory listed answers entering it, listing it and looking up a file in it; a
  // file fetched ahead answers opening it. Nothing is remembered outside the outermost action, and any
  // change on the server or a reconnect forgets it all, so every action asks the server afresh.
  class Action {
   public:
    explicit Action(FtpSession& s);
    ~Action();
    Action(const Action&) = delete;
    Action& operator=(const Action&) = delete;

   private:
    FtpSession& s_;
  };

  // A listing or a whole file a handler is about to ask for, by absolute path; or the time of a file that
  // the handler shows from its folder's listing, to the second (Time: MDTM, asked only where a listing
  // over the control connection gives less than the server's MLSD would).
  struct Ahead {
    enum class Kind { Listing, File, Time } kind;
    std::string path;
  };
  // Within an action: fetches them at once, each on one of the session's connections, so that the
  // handler's own calls, made as before, are answered without waiting for the server. What could not be
  // fetched (a lost connection, a refusal that does not settle the question) is left to those calls.
  void FetchAhead(const std::vector<Ahead>& ops);

  // How many connections the session opens (1 to kMaxConnections); the first one is the session of the
  // handlers, the others are opened alongside it and serve FetchAhead only.
  void setConnections(int n);
  // How the session spends its connections. Handler (the window): the first connection serves the
  // handler's own calls only, each extra login asks FEAT while it is unknown. Throughput (the station
  // overview, which asks for everything and waits for the whole): while the first connection awaits a
  // fetch under way elsewhere it takes the waiting fetches from the other end of the queue, one extra
  // login asks FEAT, and the first extra connection sends the listings (STAT) and times (MDTM) several
  // at once (net/FtpPipe.h) unless the server showed it takes them one at a time. Either way the extra
  // connections log in after the first did, so that a refused login reaches the server once and a controller
  // that takes few connections takes the first.
  enum class Schedule : uint8_t { Handler, Throughput };
  void setSchedule(Schedule s) { schedule_ = s; }
  // Extra connections logged in and free for fetches.
  [[nodiscard]] int ExtrasReady() const;
  // Waits until no extra connection is logging in or fetching (the benchmarks and tests).
  void AwaitExtras();
  // Called now and then while the session waits for a server, so that the window can repaint.
  void setWaitHook(std::function<void()> hook) { waitHook_ = std::move(hook); }
  // Every command and reply line of the session's connections goes to sink (the benchmarks; see
  // net/FtpTranscript.h). Set it while no connection is open.
  void setTranscript(ftp::TranscriptSink sink) { transcript_ = std::move(sink); }

  // The TLS choice and pinned key of each connection (none: no TLS anywhere). A key the operator trusts
  // during a login is saved there at once.
  void setTlsFile(TlsFile* f) { tls_ = f; }
  [[nodiscard]] TlsFile* tlsFile() const { return tls_; }

  void setTimeouts(const ftp::Timeouts& t) { timeouts_ = t; }
  void setClock(Clock clock) { clock_ = std::move(clock); }

 private:
  struct Transfer;
  struct Known;
  struct Job;
  struct Extra;

  bool fail(uint32_t error);
  bool connectionValid(HINTERNET h);
  bool transferValid(HINTERNET h, int kind);
  std::string resolve(const std::string& path) const;
  HINTERNET newHandle() { return nextHandle_++; }
  HINTERNET openTransfer(std::unique_ptr<Transfer> t);
  bool pathCommand(const char* verb, const std::string& path);
  bool listDirectory(const std::string& dir, std::vector<ftp::FindData>& out);
  // Listings over the control connection: STAT <folder> answers with the entries in one round trip, with
  // no data connection (and no data handshake under TLS). Worth asking unless the server refused STAT or
  // the path holds a wildcard, which servers that list through ls would expand.
  [[nodiscard]] bool statWorth(const std::string& dir) const;
  // MDTM of a file is worth asking where its folder's listing comes from STAT but MLSD would give
  // the time to the second.
  [[nodiscard]] bool timeWorth(const std::string& path) const;
  // Lost: the connection failed (rc, code tell why); OldWay: the answer is no listing to trust, the
  // folder is listed over a data connection; Differs: a listing, but the data connection's would show
  // these entries otherwise (dot names, links), so the folder is listed there too.
  enum class StatAnswer { Listed, OldWay, Differs, Lost };
  [[nodiscard]] StatAnswer readStat(const ftp::Connection& c, const std::string& dir, int curlCode,
                                    long replyCode, std::vector<ftp::FindData>& out);
  // After a folder's STAT answer was not taken and its data listing was: a path with blanks that has
  // entries proves the server no good at STAT for such paths (Pure-FTPd, inetutils-ftpd), not asked again.
  void statMissed(const std::string& dir, const std::vector<ftp::FindData>& listed);
  // Remembers a folder listed by STAT whose times MLSD would have given to the second, in UTC.
  void listedByStat(const std::string& dir);
  // The entries of dir with the times this action's MDTM answers gave (awaited when under way); a file
  // whose name begins with a path asked for gets its own MDTM first.
  [[nodiscard]] std::shared_ptr<const std::vector<ftp::FindData>> exactTimes(
      const std::string& dir, std::shared_ptr<const std::vector<ftp::FindData>> entries);
  void keepTime(const ftp::Connection& c, const std::string& path);
  // cut (files only): set to the read error when the server began to send the file and cut it short.
  bool fetchBody(const std::string& path, Ahead::Kind kind, ftp::Body& body, uint32_t* cut = nullptr);
  // A download's outcome: error 0 (the whole file), or its error; cut when it began and came short.
  struct Download {
    uint32_t error = 0;
    bool cut = false;
  };
  [[nodiscard]] Download downloadOutcome(const ftp::Connection& c, int curlCode, long replyCode,
                                         const std::string& path, const ftp::Body& body) const;
  // The size of a file as this action's listing of its folder, or a lookup of the file, gave it.
  [[nodiscard]] std::optional<uint64_t> listedSize(const std::string& path) const;
  [[nodiscard]] bool tooLargeAsListed(const std::string& path) const;
  // Closes TransferHandle when it goes out of scope, on every path, keeping the last error.
  class ClosesTransfer;
  // Parses a listing body as this session's listing command returns it; false when the body is a
  // server's error text instead of entries (a listing that failed although the server said 226).
  [[nodiscard]] bool parseListing(const std::string& body, std::vector<ftp::FindData>& out) const;
  // What the current action already knows (null outside an action). A fetch of that very path under way
  // is awaited; one not yet started is made now on the first connection, as the caller's own request
  // would be. The first connection lost in such a fetch is answered once, with its error, to the call
  // that asked (a null listing with *lost set, KnownEntry::Lost, a taken file with error set).
  using Entries = std::shared_ptr<const std::vector<ftp::FindData>>;
  Entries knownListing(const std::string& dir, uint32_t* lost = nullptr);
  void remember(const std::string& dir, const Entries& entries);
  enum class KnownEntry { Unknown, Enterable, Refused, Lost };
  KnownEntry knownEntry(const std::string& dir, uint32_t& lost);
  bool takeKnownFile(const std::string& path, std::string& bytes, uint32_t& error, uint32_t& cut);
  void awaitFetch(Ahead::Kind kind, const std::string& path);
  // A fetch made on the first connection, as the handler's own request would be.
  void fetchOnFirst(Job job);
  bool takeLost(const std::string& path, uint32_t& error);
  void forget();
  // The extra connections: opened after a login, re-opened when lost. pump() drives their logins and
  // fetches a step, keeps what they brought and starts waiting fetches on free ones; it also runs while
  // the first connection waits for its own requests.
  void openExtras();
  void reopenExtras();
  void closeExtras();
  void pump();
  [[nodiscard]] bool extrasActive() const;
  // The same fetch of this action is queued or under way.
  [[nodiscard]] bool fetching(const Ahead& op) const;
  // A file the connection handed over before its final reply, kept for the job's action; false when none.
  [[nodiscard]] bool keepEarlyFile(ftp::Connection& c, const Job& job);
  void startJob(Extra& x, Job job);
  void finishJob(Extra& x);
  void prepareJob(ftp::Connection& c, Job& job);
  // Keeps what a finished request of the job brought (its result rc and last reply code); true when
  // the job goes on with a data listing or a probe.
  bool keepResult(ftp::Connection& c, Job& job, int rc, long code);
  // The piped connection: its login done, the listings and times waiting in the queue sent together,
  // the replies kept as they come; a connection that fails or stops answering midway hands its
  // fetches back to the queue, and one that stalls after some replies proves the server takes
  // commands one at a time (its fetches then go one at a time there too).
  void pumpPipe(Extra& x);
  void feedPipe(Extra& x);
  void pipeFailed(Extra& x, bool oneAtATime);
  [[nodiscard]] static bool severalAwaited(const Extra& x);
  // A file on the piped connection: started when nothing else is awaited there; each reply to its
  // commands; its data read and the result kept once both its final reply and its data came. A
  // server that will not pass files this way (a refused TYPE or EPSV, no data connection) gets the
  // file back in the queue for the other connections, and no file on the piped connection again.
  void startPipeFile(Extra& x, Job job);
  void pipeFileReply(Extra& x, const ftp::Reply& reply);
  void stepPipeFile(Extra& x);
  void endPipeFile(Extra& x, bool handBack);
  // The fetches under way on the extra connections (not handed over yet), each to f.
  void eachUnderWay(const std::function<void(const Job&)>& f) const;
  bool findOne(const std::string& path, std::vector<ftp::FindData>& out);
  void rememberSize(const std::string& path, const std::vector<ftp::FindData>& found);

  // Logs c in with the TLS of its connection; when the server's certificate is not verified, or its key
  // is not the pinned one, asks the operator and logs in once more on a yes.
  [[nodiscard]] bool loginSecurely(ftp::Connection& c, const std::string& host, unsigned port,
                                   const std::string& user, bool askFeatures, uint32_t& error);
  // Shows the server's key to the operator; true (the key pinned and saved) when the operator trusts it.
  [[nodiscard]] bool trust(ftp::Connection& c, const std::string& host, unsigned port,
                           const std::string& user, uint32_t& error);
  // Why the last login failed over TLS (kErrorTlsFailed), and the message that says so.
  ftp::TlsFailure tlsFailure_ = ftp::TlsFailure::None;
  std::string tlsDetail_;  // the TLS library's own words
  [[nodiscard]] std::string tlsFailedMessage() const;

  SettingsFile& settings_;
  TlsFile* tls_ = nullptr;
  BrowseState& browse_;
  Ui& ui_;
  ftp::Timeouts timeouts_;
  Clock clock_;
  uint32_t lastError_ = 0;
  HINTERNET nextHandle_ = 1;
  // The wire form of a path for a command on the connection (see Connection::wire).
  bool wire(const std::string& path, std::string& out);
  // A request that failed: its last error from libcurl's result and the reply code.
  bool failed(int curlCode, long replyCode);
  // What FEAT tells (MLSD or LIST), asked on the first connection unless known; false (error set) when
  // the connection failed meanwhile. Never while the first connection's own request runs.
  [[nodiscard]] bool ensureFeatures();
  void learnFeatures(bool hasMlst);
  // The upload of the open write transfer; started: the server answered STOR with 150 or 125.
  bool upload(const void* data, size_t size, bool& started);

  std::unique_ptr<ftp::Connection> connection_;
  // What was learnt of the server at this URL, kept across reconnects: its byte rules and whether it
  // lists with MLSD (asked with FEAT once).
  struct ServerFacts {
    std::string root;
    ftp::ByteRules bytes;
    bool featuresKnown = false;
    bool hasMlst = false;
    ftp::TlsVersion tlsVersion = ftp::TlsVersion::Tls12;  // the one its logins took
    bool ticketOnUpload = true;  // under TLS 1.3, the server sent a session ticket on an upload's connection
    bool statRefused = false;    // the server does not know STAT (500, 502, 504): never asked again
    bool statRawFf = false;      // a STAT listing showed a lone 0xFF: its names hold 0xFF as sent
    bool statSplitsBlanks = false;  // STAT gave nothing usable for a path with blanks that has entries
    // Folders whose STAT ended in a receive error: listed over a data connection from then on. libcurl
    // takes at most 300 KB of reply lines, a few thousand reports, and ends the connection past that.
    std::set<std::string> statUnread;
    bool oneAtATime = false;   // the server stalled or dropped several commands sent at once
    bool noPipeFiles = false;  // the piped connection could not fetch a file
  } facts_;
  std::unique_ptr<Transfer> transfer_;
  int connections_ = ftp::kMaxConnections;
  Schedule schedule_ = Schedule::Handler;
  std::vector<std::unique_ptr<Extra>> extras_;
  std::deque<Job> queue_;  // fetches waiting for a free extra connection
  std::function<void()> pump_ = [this] { pump(); };
  std::function<void()> waitHook_;
  ftp::TranscriptSink transcript_;
  int actions_ = 0;
  uint64_t actionSerial_ = 0;  // fetches of an earlier action (or before a forget) are not kept
  std::unique_ptr<Known> known_;
};
