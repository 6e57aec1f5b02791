// What the session fetches ahead for a handler, on up to five connections at once (what an action
// already knows is in FtpKnown.cpp). On a link of several hundred milliseconds per round trip the number of
// round trips decides the wait: five kind folders listed one after another take five times three of them,
// listed at once three.

#include <curl/curl.h>

#include <algorithm>

#include "net/FtpConnection.h"
#include "net/FtpSessionParts.h"
#include "net/Ftp_fun.h"

using ftp::Connection;

namespace {

bool refusedByServer(CURLcode rc, long code) {
  // The server answered with a refusal and the connection stays: what a sequential call would get too.
  return code >= 400 && code != 421 && ftp::curlError(rc, code) == ftp::kErrorInternetExtendedError;
}

// A login refused by a server that answered (a per-user limit, 421 at the greeting): not tried again
// in this session. A time-out or a drop is tried again at the next fetch.
bool loginRefused(const Connection& c) {
  const long code = c.replyCode();
  return c.result == CURLE_LOGIN_DENIED || code == 421 || code == 530;
}

}  // namespace

void FtpSession::setConnections(int n) {
  connections_ = std::clamp(n, 1, ftp::kMaxConnections);
}

// --- The extra connections.

int FtpSession::ExtrasReady() const {
  return static_cast<int>(std::count_if(extras_.begin(), extras_.end(),
                                        [](const auto& x) { return x->state == Extra::State::Ready; }));
}

void FtpSession::AwaitExtras() {
  Connection::awaitRequests(
      [this] {
        pump();
        return !extrasActive();
      },
      nullptr);
}

void FtpSession::openExtras() {
  closeExtras();
  connection_->background = &pump_;
  for (int i = 1; i < connections_; ++i) extras_.push_back(std::make_unique<Extra>());
  reopenExtras();
}

void FtpSession::closeExtras() {
  queue_.clear();
  for (const auto& x : extras_)
    if (x->c) x->c->stop();  // all at once; each is then awaited as it goes
  extras_.clear();           // each says QUIT as its multi handle is cleaned up
}

// Lost extra connections log in again; the login then runs along with the other requests until it ends.
void FtpSession::reopenExtras() {
  const ftp::Connection& first = *connection_;
  for (auto& x : extras_) {
    if (x->state != Extra::State::Lost) continue;
    auto c = std::make_unique<ftp::Connection>();
    if (!(c->curl = curl_easy_init())) continue;
    c->sameServerAs(first);
    c->transcript.connection = static_cast<int>(&x - extras_.data()) + 1;
    x->piped = schedule_ == Schedule::Throughput && &x == &extras_.front() && !facts_.oneAtATime;
    // One login asks FEAT: its answer is the server's, the same on every connection.
    x->asksFeatures =
        !x->piped && !facts_.featuresKnown && std::none_of(extras_.begin(), extras_.end(), [](const auto& o) {
          return o->c && o->state == Extra::State::LoggingIn && o->asksFeatures;
        });
    if (x->piped)
      c->prepareControlOnly(timeouts_);
    else
      c->prepareLogin(timeouts_, x->asksFeatures);
    if (!c->start()) continue;
    x->c = std::move(c);
    x->state = Extra::State::LoggingIn;
  }
  pump();
}

void FtpSession::pump() {
  for (auto& x : extras_) {
    if (x->pipe) {
      pumpPipe(*x);
      continue;
    }
    if (x->state == Extra::State::Busy && x->job.op.kind == Ahead::Kind::File && !x->job.delivered)
      x->job.delivered = keepEarlyFile(*x->c, x->job);
    const bool active = x->state == Extra::State::LoggingIn || x->state == Extra::State::Busy;
    if (!active || !x->c->step()) continue;
    if (x->state == Extra::State::Busy) {
      finishJob(*x);
    } else if (x->c->result == CURLE_OK) {
      x->state = Extra::State::Ready;
      if (x->piped) x->pipe = std::make_unique<ftp::ControlPipe>(*x->c);
      if (!facts_.featuresKnown && x->asksFeatures) {
        x->c->readFeatures();
        learnFeatures(x->c->hasMlst);
      }
    } else {
      x->state = loginRefused(*x->c) ? Extra::State::GivenUp : Extra::State::Lost;
      x->c.reset();
    }
  }
  // The fetch the handler will ask for last goes first: the first ones may be asked before a connection
  // is free, and the handler then asks the server itself.
  for (auto& x : extras_)
    if (x->pipe) feedPipe(*x);
  for (auto& x : extras_) {
    if (queue_.empty()) break;
    if (x->state != Extra::State::Ready || x->pipe) continue;
    Job job = std::move(queue_.back());
    queue_.pop_back();
    startJob(*x, std::move(job));
  }
}

bool FtpSession::keepEarlyFile(ftp::Connection& c, const Job& job) {
  ftp::Body body;
  if (!c.takeEarlyBody(body.bytes)) return false;
  if (!known_ || job.action != actionSerial_) return true;  // handed over, for an action gone by
  body.announced = body.bytes.size();
  // The sizes this action's listings gave must agree, as for a file whose final reply came.
  const Download d = downloadOutcome(c, CURLE_OK, 226, job.op.path, body);
  known_->files[job.op.path] = std::move(body.bytes);
  if (d.cut) known_->cuts[job.op.path] = d.error;
  known_->enterable.insert(ftp::parentOf(job.op.path));
  return true;
}

bool FtpSession::fetching(const Ahead& op) const {
  const auto same = [&](const Job& j) {
    return j.op.kind == op.kind && j.op.path == op.path && j.action == actionSerial_;
  };
  bool underWay = false;
  eachUnderWay([&](const Job& j) { underWay = underWay || same(j); });
  return underWay || std::any_of(queue_.begin(), queue_.end(), same);
}

bool FtpSession::extrasActive() const {
  return std::any_of(extras_.begin(), extras_.end(), [](const auto& x) {
    return x->state == Extra::State::LoggingIn || x->state == Extra::State::Busy;
  });
}

void FtpSession::prepareJob(ftp::Connection& c, Job& job) {
  c.bytes = connection_->bytes;
  c.hasMlst = connection_->hasMlst;
  if (job.op.kind == Ahead::Kind::File) {
    c.prepareDownload(timeouts_, job.wire, true);
  } else if (job.op.kind == Ahead::Kind::Time) {
    c.prepareCommands(timeouts_, {"MDTM " + job.wire});
  } else if (job.step == Job::Step::Stat) {
    c.prepareCommands(timeouts_, {"STAT " + job.wire});
  } else if (job.step == Job::Step::Probe) {
    c.prepareCommands(timeouts_, {"CWD " + job.wire});
  } else {
    c.prepareListing(timeouts_, job.wire);
  }
}

void FtpSession::startJob(Extra& x, Job job) {
  x.job = std::move(job);
  prepareJob(*x.c, x.job);
  if (x.c->start()) {
    x.state = Extra::State::Busy;
  } else {
    x.state = Extra::State::Lost;
    x.c.reset();
  }
}

void FtpSession::finishJob(Extra& x) {
  const CURLcode rc = x.c->result;
  if (keepResult(*x.c, x.job, rc, x.c->replyCode())) {
    startJob(x, std::move(x.job));
    return;
  }
  x.job = Job{};
  if (rc != CURLE_OK && !refusedByServer(rc, x.c->replyCode())) {
    x.state = Extra::State::Lost;  // opened again at the next fetch
    x.c.reset();
  } else {
    x.state = Extra::State::Ready;
  }
}

// A finished request: its answer is kept, or a refused listing goes on to ask whether the directory can
// be entered, or nothing is kept and the handler's own call asks the server. The first connection lost
// is kept as such: the handler's call then fails as its own request would have.
bool FtpSession::keepResult(ftp::Connection& c, Job& job, int curlCode, long code) {
  const auto rc = static_cast<CURLcode>(curlCode);
  if (!known_ || job.action != actionSerial_) return false;
  const std::string& path = job.op.path;
  if (job.op.kind == Ahead::Kind::Time) {
    keepTime(c, path);
    return false;
  }
  if (job.op.kind == Ahead::Kind::File && (job.delivered || keepEarlyFile(c, job))) return false;
  if (job.step == Job::Step::Stat) {
    std::vector<ftp::FindData> entries;
    const StatAnswer a = readStat(c, path, rc, code, entries);
    if (a == StatAnswer::Listed) {
      known_->listings[path] = std::make_shared<const std::vector<ftp::FindData>>(std::move(entries));
      listedByStat(path);
      return false;
    }
    if (a == StatAnswer::OldWay || a == StatAnswer::Differs) {
      // The data listing's command (MLSD or LIST) needs the features; unknown yet, the handler's call asks.
      job.step = Job::Step::Data;
      job.statMissed = a == StatAnswer::OldWay;
      return facts_.featuresKnown;
    }
    if (&c == connection_.get()) known_->lost[path] = ftp::curlError(rc, code);
    return false;
  }
  if (job.op.kind == Ahead::Kind::File) {
    // A file that came whole, came short or was too large is the answer the handler's own request would
    // get: it is not asked for again, whichever connection fetched it.
    const Download d = downloadOutcome(c, rc, code, path, c.body);
    if (d.error == 0 || d.cut) {
      known_->files[path] = std::move(c.body.bytes);
      if (d.cut) known_->cuts[path] = d.error;
      known_->enterable.insert(ftp::parentOf(path));
      return false;
    }
    if (d.error == ftp::kErrorFileTooLarge || refusedByServer(rc, code)) {
      known_->fileErrors[path] =
          d.error == ftp::kErrorFileTooLarge ? d.error : ftp::kErrorInternetExtendedError;
      return false;
    }
  }
  const bool lost = rc != CURLE_OK && !refusedByServer(rc, code);
  if (lost) {
    if (job.step == Job::Step::Probe) known_->listings.erase(path);
    if (&c == connection_.get()) known_->lost[path] = ftp::curlError(rc, code);
  } else if (job.step == Job::Step::Probe) {
    if (rc == CURLE_OK && code >= 400 && code != 421) {
      known_->listings.erase(path);
      known_->refused.insert(path);
    }
  } else if (job.op.kind == Ahead::Kind::Listing) {
    std::vector<ftp::FindData> entries;
    if (rc == CURLE_OK && parseListing(c.body.bytes, entries)) {
      if (job.statMissed) statMissed(path, entries);
      // vsftpd answers LIST of a missing folder with 226 and nothing: an empty LIST answer does not
      // tell that the folder is there, the probe does.
      const bool probe = entries.empty() && !c.hasMlst;
      known_->listings[path] = std::make_shared<const std::vector<ftp::FindData>>(std::move(entries));
      if (probe) job.step = Job::Step::Probe;
      return probe;
    } else {
      job.step = Job::Step::Probe;
      return true;
    }
  }
  return false;
}

// --- Fetching ahead.

void FtpSession::FetchAhead(const std::vector<Ahead>& ops) {
  if (!known_ || !connection_ || transfer_) return;
  reopenExtras();
  for (const Ahead& op : ops) {
    if (op.path.empty() || op.path[0] != '/') continue;
    // For throughput the features are asked now: the times then go out with the rest of the fetches.
    if (op.kind == Ahead::Kind::Time && schedule_ == Schedule::Throughput && !ensureFeatures()) return;
    if (op.kind == Ahead::Kind::Time && !facts_.featuresKnown) {
      // Whether MLSD would give the time is not known yet: asked once the listing is read (exactTimes).
      if (ftp::safeForCommand(op.path) && statWorth(ftp::parentOf(op.path)))
        known_->timePrefixes.insert(op.path);
      continue;
    }
    // A listing over a data connection needs the features (MLSD or LIST); a lost connection is left to
    // the handler's own call.
    if (op.kind == Ahead::Kind::Listing && !statWorth(op.path) && !ensureFeatures()) return;
    const bool known =
        op.kind == Ahead::Kind::Listing ? known_->listings.count(op.path) || known_->refused.count(op.path)
        : op.kind == Ahead::Kind::File  ? known_->files.count(op.path) || known_->fileErrors.count(op.path)
                                        : known_->timesAsked.count(op.path) || !timeWorth(op.path);
    if (known || fetching(op)) continue;
    if (op.kind == Ahead::Kind::Time) known_->timePrefixes.insert(op.path);
    // A file this action's listing shows too large is refused by the handler's own call at once.
    if (op.kind == Ahead::Kind::File && tooLargeAsListed(op.path)) continue;
    Job j;
    j.op = op;
    j.action = actionSerial_;
    // Learning how the server reads 0xFF is the first connection's; a failure leaves the op to the handler.
    if (!wire(op.path, j.wire)) continue;
    if (op.kind == Ahead::Kind::Listing && statWorth(op.path)) j.step = Job::Step::Stat;
    if (op.kind == Ahead::Kind::Time) known_->timesAsked.insert(op.path);
    queue_.push_back(std::move(j));
  }
  pump();
}
