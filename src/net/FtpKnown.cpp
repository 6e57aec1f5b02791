// What an action already knows: the listings, files and times its fetches brought, and the waits for a
// fetch of the very thing a handler asks for.

#include <curl/curl.h>

#include <algorithm>

#include "net/FtpConnection.h"
#include "net/FtpSessionParts.h"
#include "net/Ftp_fun.h"

using ftp::Connection;

FtpSession::Action::Action(FtpSession& s) : s_(s) {
  if (s_.actions_++ == 0) {
    s_.known_ = std::make_unique<Known>();
    ++s_.actionSerial_;
  }
}

FtpSession::Action::~Action() {
  if (--s_.actions_ > 0) return;
  s_.known_.reset();
  s_.queue_.clear();  // fetches still under way end in the background; their answers are not kept
}

void FtpSession::forget() {
  if (known_) *known_ = Known{};
  queue_.clear();
  ++actionSerial_;
}

// A lookup of a path whose fetch is under way waits for it; one still waiting for a free connection is
// made now on the first connection, which the caller would use for it anyway (without entering the
// directory first: the listing tells that too).
void FtpSession::awaitFetch(Ahead::Kind kind, const std::string& path) {
  const auto same = [&](const Job& j) { return j.op.kind == kind && j.op.path == path; };
  const auto fetchQueued = [&] {
    const auto queued = std::find_if(queue_.begin(), queue_.end(), same);
    if (queued == queue_.end()) return false;
    Job job = std::move(*queued);
    queue_.erase(queued);
    fetchOnFirst(std::move(job));
    return true;
  };
  if (fetchQueued()) return;
  const auto underWay = [&] {
    bool found = false;
    eachUnderWay([&](const Job& j) { found = found || (j.action == actionSerial_ && same(j)); });
    return found;
  };
  // For throughput the first connection does not idle meanwhile: it takes the fetches that wait for a
  // free connection from the end the extra ones take last. A connection lost in one ends that: the
  // path is left to the handler's own call (which reconnects), as when an extra connection loses it.
  // Not for a reply of the piped connection: that comes within a round trip or two, and a file taken
  // meanwhile would hold the handler up for three or four.
  const auto piped = [&] {
    return std::any_of(extras_.begin(), extras_.end(), [&](const auto& x) {
      return std::any_of(x->inFlight.begin(), x->inFlight.end(),
                         [&](const Job& j) { return j.action == actionSerial_ && same(j); });
    });
  };
  while (schedule_ == Schedule::Throughput && !queue_.empty() && underWay() && !piped()) {
    Job job = std::move(queue_.front());
    queue_.pop_front();
    const std::string taken = job.op.path;
    fetchOnFirst(std::move(job));
    if (known_->lost.erase(taken)) break;
  }
  ftp::WaitPacer pacer(&waitHook_);
  Connection::awaitRequests(
      [&] {
        pump();
        return !underWay();
      },
      &pacer);
  // Handed back to the queue meanwhile (a piped connection that failed): made here, not twice.
  (void)fetchQueued();
}

void FtpSession::fetchOnFirst(Job job) {
  ftp::Connection& c = *connection_;
  for (;;) {
    prepareJob(c, job);
    long code = 0;
    const CURLcode rc = c.perform(code);
    if (!keepResult(c, job, rc, code)) return;
  }
}

bool FtpSession::takeLost(const std::string& path, uint32_t& error) {
  const auto it = known_->lost.find(path);
  if (it == known_->lost.end()) return false;
  error = it->second;
  known_->lost.erase(it);
  return true;
}

FtpSession::Entries FtpSession::knownListing(const std::string& dir, uint32_t* lost) {
  if (!known_) return nullptr;
  awaitFetch(Ahead::Kind::Listing, dir);
  if (uint32_t error = 0; lost && takeLost(dir, error)) {
    *lost = error;
    return nullptr;
  }
  const auto it = known_->listings.find(dir);
  return it == known_->listings.end() ? nullptr : exactTimes(dir, it->second);
}

// A listing is kept once, however many lookups and walks of the action read it.
void FtpSession::remember(const std::string& dir, const Entries& entries) {
  if (known_) known_->listings[dir] = entries;
}

FtpSession::KnownEntry FtpSession::knownEntry(const std::string& dir, uint32_t& lost) {
  if (!known_) return KnownEntry::Unknown;
  awaitFetch(Ahead::Kind::Listing, dir);
  if (takeLost(dir, lost)) return KnownEntry::Lost;
  if (known_->listings.count(dir) || known_->enterable.count(dir)) return KnownEntry::Enterable;
  return known_->refused.count(dir) ? KnownEntry::Refused : KnownEntry::Unknown;
}

bool FtpSession::takeKnownFile(const std::string& path, std::string& bytes, uint32_t& error, uint32_t& cut) {
  if (!known_) return false;
  awaitFetch(Ahead::Kind::File, path);
  if (takeLost(path, error)) return true;
  if (const auto it = known_->files.find(path); it != known_->files.end()) {
    bytes = std::move(it->second);
    known_->files.erase(it);
    error = 0;
    cut = 0;
    if (const auto c = known_->cuts.find(path); c != known_->cuts.end()) {
      cut = c->second;
      known_->cuts.erase(c);
    }
    return true;
  }
  if (const auto it = known_->fileErrors.find(path); it != known_->fileErrors.end()) {
    error = it->second;
    known_->fileErrors.erase(it);
    return true;
  }
  return false;
}
