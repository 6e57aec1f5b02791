// The session's piped connection: the listings (STAT) and times (MDTM) of a whole station go out
// together on it and come back in one round trip or two (net/FtpPipe.h); without TLS it also fetches
// files, one at a time, on data connections of its own. Data listings stay with the other connections.

#include <curl/curl.h>

#include <algorithm>

#include "net/FtpConnection.h"
#include "net/FtpSessionParts.h"
#include "net/Ftp_fun.h"

namespace {

using Steady = std::chrono::steady_clock;

// At most this many commands await their replies on the connection; more wait in the queue, so that
// no controller gets a flood at once.
constexpr size_t kInFlight = 64;

// A server that answered some commands of a burst and then nothing for twice the round trip and this
// long more took only the first ones: it reads one command at a time.
constexpr std::chrono::milliseconds kStallGrace{1000};

}  // namespace

void FtpSession::eachUnderWay(const std::function<void(const Job&)>& f) const {
  for (const auto& x : extras_) {
    if (x->state == Extra::State::Busy && !x->pipe && !x->job.delivered) f(x->job);
    for (const Job& j : x->inFlight)
      if (!j.noop) f(j);
    if (x->file && !x->file->delivered && !x->fileGivenUp) f(*x->file);
  }
}

void FtpSession::feedPipe(Extra& x) {
  if ((x.state != Extra::State::Ready && x.state != Extra::State::Busy) || x.file) return;
  const auto piped = [](const Job& j) {
    return j.op.kind == Ahead::Kind::Time || (j.op.kind == Ahead::Kind::Listing && j.step == Job::Step::Stat);
  };
  const auto burst = [&] {
    if (!x.inFlight.empty()) return;
    x.burstStart = x.lastReply = Steady::now();
    x.burstAnswered = false;
  };
  bool sent = false;
  // From the end the handler asks for first, so that its first replies come first.
  for (size_t i = queue_.size(); i-- > 0 && x.inFlight.size() + 1 < kInFlight;) {
    if (!piped(queue_[i])) continue;
    burst();
    Job job = std::move(queue_[i]);
    queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(i));
    x.pipe->send((job.op.kind == Ahead::Kind::Time ? "MDTM " : "STAT ") + job.wire);
    x.inFlight.push_back(std::move(job));
    sent = true;
  }
  // The burst ends with a NOOP, whose "200" must come right after the replies of the burst's commands:
  // a controller that skipped some of them is seen out of step, not taken at its word.
  if (sent) {
    Job noop;
    noop.noop = true;
    x.pipe->send("NOOP");
    x.inFlight.push_back(std::move(noop));
  }
  // Files once no listing waits: under TLS a data connection must resume the control connection's TLS
  // session, which stays libcurl's.
  if (!sent && x.inFlight.empty() && x.c->tls == ftp::TlsMode::None && !facts_.noPipeFiles) {
    for (size_t i = queue_.size(); i-- > 0;) {
      if (queue_[i].op.kind != Ahead::Kind::File || !ftp::safeForCommand(queue_[i].wire)) continue;
      burst();
      Job job = std::move(queue_[i]);
      queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(i));
      startPipeFile(x, std::move(job));
      sent = true;
      break;
    }
  }
  if (sent) pumpPipe(x);
}

// More than one command awaited (the NOOP not counted): a drop then shows a server that does not take
// several at once.
bool FtpSession::severalAwaited(const Extra& x) {
  return std::count_if(x.inFlight.begin(), x.inFlight.end(), [](const Job& j) { return !j.noop; }) > 1;
}

void FtpSession::pumpPipe(Extra& x) {
  // The whole replies that came before a failure are kept first.
  const bool open = x.pipe->step();
  const auto now = Steady::now();
  while (x.pipe) {
    auto reply = x.pipe->take();
    if (!reply) break;
    x.lastReply = now;
    if (reply->code == 421) return pipeFailed(x, severalAwaited(x));  // the server is closing the connection
    if (x.file) {
      pipeFileReply(x, *reply);
      continue;
    }
    // The replies answer the commands in order; a preliminary reply, a reply to nothing or a NOOP
    // answered out of its place shows the server out of step with them.
    const size_t at = x.held.size();
    if (at >= x.inFlight.size() || reply->code < 200 || (reply->code == 200) != x.inFlight[at].noop)
      return pipeFailed(x, true);
    if (!x.burstAnswered) {
      x.burstAnswered = true;
      const auto waited = now - x.burstStart;
      if (x.roundTrip == Steady::duration{} || waited < x.roundTrip) x.roundTrip = waited;
    }
    if (!x.inFlight[at].noop) {
      x.held.push_back(std::move(*reply));
      continue;
    }
    for (ftp::Reply& r : x.held) {
      Job job = std::move(x.inFlight.front());
      x.inFlight.pop_front();
      x.c->replies = std::move(r.lines);
      // A folder whose STAT answer was not taken goes on to a data listing on another connection.
      if (keepResult(*x.c, job, CURLE_OK, r.code)) queue_.push_back(std::move(job));
    }
    x.held.clear();
    x.inFlight.pop_front();  // the NOOP
  }
  if (x.pipe && x.file) stepPipeFile(x);
  if (!x.pipe) return;
  if (!open) return pipeFailed(x, severalAwaited(x));
  const bool waiting = !x.inFlight.empty() || x.file;
  x.state = waiting ? Extra::State::Busy : Extra::State::Ready;
  if (!waiting) return;
  // A file is waited for while its data moves; a reply for the response time-out from the last one.
  if (x.file) {
    const auto last =
        x.data ? std::max(x.pipe->lastActivity(), x.data->lastActivity()) : x.pipe->lastActivity();
    if (now - last > std::chrono::seconds(std::max(timeouts_.response, timeouts_.stall)))
      return pipeFailed(x, false);
    return;
  }
  if (now - x.lastReply > std::chrono::seconds(timeouts_.response)) return pipeFailed(x, false);
  if (x.burstAnswered && now - x.pipe->lastActivity() > 2 * x.roundTrip + kStallGrace)
    return pipeFailed(x, true);
}

void FtpSession::pipeFailed(Extra& x, bool oneAtATime) {
  if (oneAtATime) facts_.oneAtATime = true;
  // Back to the queue, the first asked for last in, where the other connections take first.
  const auto handBack = [&](Job& j) {
    if (known_ && j.action == actionSerial_) queue_.push_back(std::move(j));
  };
  if (x.file && !x.file->delivered && !x.fileGivenUp) handBack(*x.file);
  for (auto j = x.inFlight.rbegin(); j != x.inFlight.rend(); ++j)
    if (!j->noop) handBack(*j);
  x.inFlight.clear();
  x.held.clear();
  x.typed = false;  // a new connection starts in its default type
  x.file.reset();
  x.data.reset();
  x.pipe.reset();
  x.c.reset();
  x.state = Extra::State::Lost;  // opened again at the next fetch
}

void FtpSession::startPipeFile(Extra& x, Job job) {
  x.file = std::move(job);
  x.fileWaits.clear();
  x.data.reset();
  x.dataState = ftp::DataSocket::State::Reading;
  x.fileCode = 0;
  x.fileGivenUp = false;
  x.c->replies.clear();
  x.c->body = ftp::Body{};
  x.speedStart = Steady::now();
  x.speedBytes = 0;
  if (!x.typed) {
    x.pipe->send("TYPE I");
    x.fileWaits.push_back(Extra::FileWait::Type);
    x.typed = true;
  }
  x.pipe->send("EPSV");
  x.fileWaits.push_back(Extra::FileWait::Passive);
}

void FtpSession::pipeFileReply(Extra& x, const ftp::Reply& reply) {
  if (x.fileWaits.empty()) {  // a reply to nothing: out of step, after the file's own ones
    stepPipeFile(x);
    if (x.pipe) pipeFailed(x, true);
    return;
  }
  const Extra::FileWait wait = x.fileWaits.front();
  if (wait == Extra::FileWait::Retrieve) {
    x.c->replies.insert(x.c->replies.end(), reply.lines.begin(), reply.lines.end());
    if (reply.code < 200) {  // "150 Opening BINARY mode data connection for f (123 bytes)"
      x.c->body.announced = ftp::announcedSize(reply.lines.front());
      if (x.c->body.announced && *x.c->body.announced > ftp::kMaxDownloadBytes) {
        x.c->body.tooLarge = true;
        x.data.reset();  // not read: the file is refused by its size
      }
      return;
    }
  }
  x.fileWaits.pop_front();
  if (x.fileGivenUp) {
    if (x.fileWaits.empty()) endPipeFile(x, false);
    return;
  }
  switch (wait) {
    case Extra::FileWait::Type:
      if (reply.code != 200) endPipeFile(x, true);
      return;
    case Extra::FileWait::Passive: {
      const auto port = ftp::passivePort(reply.lines.front());
      curl_socket_t control = CURL_SOCKET_BAD;
      curl_easy_getinfo(x.c->curl, CURLINFO_ACTIVESOCKET, &control);
      x.data = std::make_unique<ftp::DataSocket>();
      if (!port || control == CURL_SOCKET_BAD || !x.data->open(control, *port)) return endPipeFile(x, true);
      x.pipe->send("RETR " + x.file->wire);
      x.fileWaits.push_back(Extra::FileWait::Retrieve);
      return;
    }
    case Extra::FileWait::Retrieve:
      x.fileCode = reply.code;
      return;
  }
}

void FtpSession::stepPipeFile(Extra& x) {
  if (x.fileGivenUp) return;
  using State = ftp::DataSocket::State;
  if (x.data && x.dataState == State::Reading) x.dataState = x.data->step(x.c->body.bytes);
  if (x.dataState == State::TooLarge && !x.c->body.tooLarge) {
    x.c->body.tooLarge = true;
    x.data.reset();  // not read on: the file is refused by its size
  }
  const auto& body = x.c->body;
  // Refused by its size: kept at once, whatever the server says after.
  if (body.tooLarge && !x.file->delivered) {
    (void)keepResult(*x.c, *x.file, CURLE_OK, 150);
    x.file->delivered = true;
  }
  // As libcurl's rule for the other connections: at least a byte a second over the stall time.
  const auto now = Steady::now();
  if (x.data && x.dataState == State::Reading &&
      now - x.speedStart >= std::chrono::seconds(timeouts_.stall)) {
    if (body.bytes.size() - x.speedBytes < static_cast<size_t>(timeouts_.stall)) return pipeFailed(x, false);
    x.speedStart = now;
    x.speedBytes = body.bytes.size();
  }
  // Whole by the size the 150 reply announced: the handler need not wait for the final reply, which
  // some servers send a round trip late.
  if (!x.file->delivered && x.fileCode == 0 && x.dataState == State::Ended && body.announced &&
      *body.announced > 0 && *body.announced == body.bytes.size()) {
    (void)keepResult(*x.c, *x.file, CURLE_OK, 226);
    x.file->delivered = true;
  }
  if (x.fileCode == 0) return;
  // 425, 426: no data connection came about, or it broke (not for a file refused by its size, whose
  // data connection was closed here); the other connections try the file.
  if ((x.fileCode == 425 || x.fileCode == 426) && !body.tooLarge) return endPipeFile(x, true);
  int rc = CURLE_OK;
  if (x.fileCode >= 400 && !body.tooLarge) {
    rc = CURLE_FTP_COULDNT_RETR_FILE;  // refused: the file is missing or unreadable
  } else if (!body.tooLarge) {
    if (x.dataState == State::Reading) return;  // the last bytes are still on their way
    if (x.dataState == State::Failed) rc = CURLE_RECV_ERROR;
  }
  if (!x.file->delivered) (void)keepResult(*x.c, *x.file, rc, x.fileCode);
  endPipeFile(x, false);
}

void FtpSession::endPipeFile(Extra& x, bool handBack) {
  if (handBack) {
    facts_.noPipeFiles = true;
    x.fileGivenUp = true;
    if (known_ && x.file->action == actionSerial_ && !x.file->delivered) queue_.push_back(*x.file);
    if (!x.fileWaits.empty()) return;  // its last replies are still to be read
  }
  x.file.reset();
  x.fileWaits.clear();
  x.data.reset();
}
