// The session's piped connection: the listings (STAT) and times (MDTM) of a whole station go out
// together on it and come back in one round trip or two (net/FtpPipe.h); files and data listings stay
// with the other connections.

#include <curl/curl.h>

#include "net/FtpConnection.h"
#include "net/FtpSessionParts.h"
#include "net/Ftp_fun.h"

namespace {

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
    for (const Job& j : x->inFlight) f(j);
  }
}

void FtpSession::feedPipe(Extra& x) {
  if (x.state != Extra::State::Ready && x.state != Extra::State::Busy) return;
  const auto piped = [](const Job& j) {
    return j.op.kind == Ahead::Kind::Time || (j.op.kind == Ahead::Kind::Listing && j.step == Job::Step::Stat);
  };
  bool sent = false;
  // From the end the handler asks for first, so that its first replies come first.
  for (size_t i = queue_.size(); i-- > 0 && x.inFlight.size() < kInFlight;) {
    if (!piped(queue_[i])) continue;
    if (x.inFlight.empty()) {
      x.burstStart = std::chrono::steady_clock::now();
      x.burstAnswered = false;
    }
    Job job = std::move(queue_[i]);
    queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(i));
    x.pipe->send((job.op.kind == Ahead::Kind::Time ? "MDTM " : "STAT ") + job.wire);
    x.inFlight.push_back(std::move(job));
    sent = true;
  }
  if (sent) pumpPipe(x);
}

void FtpSession::pumpPipe(Extra& x) {
  if (!x.pipe->step()) return pipeFailed(x, x.inFlight.size() > 1);
  const auto now = std::chrono::steady_clock::now();
  while (auto reply = x.pipe->take()) {
    if (x.inFlight.empty() || reply->code == 421) return pipeFailed(x, false);  // out of step, or closing
    if (!x.burstAnswered) {
      x.burstAnswered = true;
      const auto waited = now - x.burstStart;
      if (x.roundTrip == decltype(waited){} || waited < x.roundTrip) x.roundTrip = waited;
    }
    Job job = std::move(x.inFlight.front());
    x.inFlight.pop_front();
    x.c->replies = std::move(reply->lines);
    // A folder whose STAT answer was not taken goes on to a data listing on another connection.
    if (keepResult(*x.c, job, CURLE_OK, reply->code)) queue_.push_back(std::move(job));
  }
  x.state = x.inFlight.empty() ? Extra::State::Ready : Extra::State::Busy;
  if (x.inFlight.empty()) return;
  const auto quiet = now - x.pipe->lastActivity();
  if (quiet > std::chrono::seconds(timeouts_.response)) return pipeFailed(x, false);
  if (x.burstAnswered && quiet > 2 * x.roundTrip + kStallGrace) return pipeFailed(x, true);
}

void FtpSession::pipeFailed(Extra& x, bool oneAtATime) {
  if (oneAtATime) facts_.oneAtATime = true;
  // Back to the queue, the first asked for last in, where the other connections take first.
  for (auto j = x.inFlight.rbegin(); j != x.inFlight.rend(); ++j)
    if (known_ && j->action == actionSerial_) queue_.push_back(std::move(*j));
  x.inFlight.clear();
  x.pipe.reset();
  x.c.reset();
  x.state = Extra::State::Lost;  // opened again at the next fetch
}
