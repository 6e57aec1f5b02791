#pragma once
// The parts of FtpSession that only its own files see: the open transfer, what an action knows and the
// extra connections.

#include <algorithm>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/Text.h"
#include "net/FtpConnection.h"
#include "net/FtpPipe.h"
#include "net/Ftp_fun.h"

// The one open listing or file.
struct FtpSession::Transfer {
  enum Kind { Find, Read, Write } kind;
  HINTERNET handle = kNoHandle;
  std::shared_ptr<const std::vector<ftp::FindData>> entries;  // Find: shared with what the action knows
  size_t next = 0;
  std::string bytes;       // Read
  uint32_t readError = 0;  // Read: the transfer was cut short; reading fails with this error
  std::string path;        // Write: absolute path of the file
  bool written = false;
};

namespace ftp {

// A text that may go on the control connection: no CR, LF or other control bytes that could end the
// command early or smuggle another one.
inline bool safeForCommand(const std::string& s) {
  return !text::hasControlBytes(s);
}

}  // namespace ftp

struct FtpSession::Known {
  std::map<std::string, std::shared_ptr<const std::vector<ftp::FindData>>> listings;  // directory → as listed
  std::set<std::string> refused;               // directories the server would not enter
  std::set<std::string> enterable;             // directories a file was read from
  std::map<std::string, std::string> files;    // path → the whole file (or what came)
  std::map<std::string, uint32_t> cuts;        // path → the read error of a transfer begun and cut short
  std::map<std::string, uint64_t> sizes;       // path → the size a lookup of that one file gave
  std::map<std::string, uint32_t> fileErrors;  // path → the server's refusal of it
  std::map<std::string, uint32_t> lost;        // path → the error of the first connection lost fetching it
  std::set<std::string> coarse;                // folders listed by STAT on a server with MLSD
  // Times asked for (Ahead::Time): each such path is also the prefix of the names whose time is shown.
  std::set<std::string> timePrefixes, timesAsked;
  std::map<std::string, fsys::CalendarTime> times;  // path → its MDTM time, local
};

// A listing or file fetched ahead on an extra connection, for the action it was asked in.
struct FtpSession::Job {
  Ahead op;
  std::string wire;  // the path as the server must receive it
  // A listing: STAT first where worth it, then over a data connection; when that was refused or empty,
  // the probe: does the directory let itself be entered?
  enum class Step { Stat, Data, Probe } step = Step::Data;
  uint64_t action = 0;
  bool delivered = false;   // a file handed over before its final reply
  bool noop = false;        // the NOOP that closes a burst on the piped connection, no fetch
  bool statMissed = false;  // its STAT answer was not taken
};

// An extra connection and what it is doing.
struct FtpSession::Extra {
  enum class State { LoggingIn, Ready, Busy, Lost, GivenUp };
  std::unique_ptr<ftp::Connection> c;
  State state = State::Lost;
  Job job;                    // while Busy
  bool asksFeatures = false;  // its login asks FEAT
  // A connection whose listings (STAT) and times (MDTM) go out several at once (net/FtpPipe.h): Busy
  // while any is awaited, in the order of inFlight.
  bool piped = false;
  std::unique_ptr<ftp::ControlPipe> pipe;  // once logged in
  std::deque<Job> inFlight;
  std::vector<ftp::Reply> held;  // the replies of a burst, until its NOOP's reply shows them in step
  // When the last whole reply came, or a command went out while none was awaited.
  std::chrono::steady_clock::time_point lastReply;
  // Sent while none was awaited: when, and whether a reply came since. The shortest wait for such a
  // first reply is the connection's round trip.
  std::chrono::steady_clock::time_point burstStart;
  bool burstAnswered = false;
  std::chrono::steady_clock::duration roundTrip{};
  // On a connection without TLS, the file it fetches, alone on the connection (TYPE I once, EPSV, RETR
  // on a data connection of its own): the replies it awaits, its data connection and RETR's final reply.
  enum class FileWait { Type, Passive, Retrieve };
  std::optional<Job> file;
  std::deque<FileWait> fileWaits;
  std::unique_ptr<ftp::DataSocket> data;
  ftp::DataSocket::State dataState = ftp::DataSocket::State::Reading;
  long fileCode = 0;
  std::chrono::steady_clock::time_point speedStart;  // the data's speed is judged from here
  size_t speedBytes = 0;                             // with this many bytes come then
  bool fileGivenUp = false;                          // handed back; its last replies are only read
  bool typed = false;                                // TYPE I sent
};
