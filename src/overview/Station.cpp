// The check of one station: its objects, each object's alarm time, lines and gas parameters, and the
// newest report of each kind of each line, asked the way the main window asks on an object click and a
// line click, all folders and files of the station fetched ahead on its connections at once.

#include "overview/Station.h"

#include <chrono>
#include <thread>

#include "browse/ReportNames.h"
#include "core/Cp1251.h"
#include "core/Ui.h"

namespace overview {

std::optional<ReportHour> hourOfEntry(const std::string& entry) {
  // " %4d.%02d.%02d  %02d:00", as the hourly list writes its keys.
  int v[4] = {};
  size_t i = 0;
  while (i < entry.size() && entry[i] == ' ') ++i;
  const int widths[4] = {4, 2, 2, 2};
  const char* seps[4] = {".", ".", "  ", ":"};
  for (int k = 0; k < 4; ++k) {
    for (int d = 0; d < widths[k]; ++d, ++i) {
      if (i >= entry.size() || entry[i] < '0' || entry[i] > '9') return std::nullopt;
      v[k] = v[k] * 10 + (entry[i] - '0');
    }
    const std::string_view sep = seps[k];
    if (entry.compare(i, sep.size(), sep) != 0) return std::nullopt;
    i += sep.size();
  }
  if (!IsValidReportDate(v[1], v[2], v[3])) return std::nullopt;
  return ReportHour{v[0], v[1], v[2], v[3]};
}

namespace {

// The session's Ui on a checking thread: nothing is shown and nothing asked (a question is answered
// "no"; the row says what the operator must do); the last message is kept for the row.
class QuietUi : public Ui {
 public:
  explicit QuietUi(const std::atomic<bool>& stop) : stop_(stop) {}
  void message(const std::string& text, const std::string&) override { last = text; }
  bool ask(const std::string&, const std::string&, Answer) override { return false; }
  void errorBox(const std::string& text) override { last = text; }
  void beginWait() override {}
  void endWait() override {}
  void pause(int milliseconds) override {
    for (int waited = 0; waited < milliseconds; waited += 10) {
      if (stop_) throw Stopped{};
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::string last;

 private:
  const std::atomic<bool>& stop_;
};

Failure loginFailure(uint32_t error) {
  switch (error) {
    case ftp::kErrorInternetNameNotResolved:
      return Failure::NameNotFound;
    case ftp::kErrorInternetLoginFailure:
      return Failure::LoginRefused;
    case ftp::kErrorInternetTimeout:
      return Failure::TimedOut;
    case ftp::kErrorTlsUntrusted:
      return Failure::TlsUntrusted;
    case ftp::kErrorTlsFailed:
      return Failure::TlsFailed;
    case ftp::kErrorTlsDemanded:
      return Failure::TlsDemanded;
    default:
      return Failure::Unreachable;
  }
}

bool connectionLost(uint32_t error) {
  return error == ftp::kErrorInternetTimeout || error == ftp::kErrorInternetConnectionAborted;
}

bool startsWith(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// An object being checked: its row and what its folders held.
struct Object {
  std::string path;
  ObjectRow row;
  std::vector<ftp::FindData> entries;  // of the object directory
  // Per line, per kind: the files of the kind folder.
  std::vector<std::array<std::vector<ftp::FindData>, kReportKindCount>> files;
};

class Walk {
 public:
  Walk(const SettingsFile& settings, int record, const TlsFile& tls, const CheckSetup& setup,
       const std::atomic<bool>& stop, const RowSink& sink)
      : settings_(settings),
        tls_(tls),
        ui_(stop),
        ftp_(settings_, browse_, ui_),
        setup_(setup),
        record_(record),
        sink_(sink),
        stop_(stop) {
    settings_.setCurrentConnection(record);
    ftp_.setTlsFile(&tls_);
    ftp_.setTimeouts(setup.timeouts);
    ftp_.setConnections(setup.connections);
    ftp_.setSchedule(FtpSession::Schedule::Throughput);
    if (setup.transcript) ftp_.setTranscript(setup.transcript);
    ftp_.setWaitHook([&stop] {
      if (stop) throw Stopped{};
    });
  }

  // After an error that ended the walk: the rows not done end as lost, the station's own row when no
  // object was listed.
  void failed() {
    if (objects_.empty()) return stationFails(Failure::Lost);
    lostRest();
  }

  void run() {
    if (!ftp_.FtpOpen()) return stationFails(loginFailure(ftp_.GetLastError()));
    browse_.SourceMode = Source::Ftp;
    std::string base;
    if (!ftp_.FtpGetCurrentDirectory(ftp_.ConnectionHandle, base)) {
      ui_.pause(1000);
      if (!ftp_.FtpGetCurrentDirectory(ftp_.ConnectionHandle, base)) return stationFails(Failure::NoBase);
    }
    browse_.BaseDirectory = browse_.CurrentDirectory = base;
    const FtpSession::Action action(ftp_);
    const bool oneObject = settings_.current().accessMode() == Access::ObjectDirectory;
    if (oneObject) {
      objects_.push_back({base, {}, {}, {}});
    } else {
      ftp_.FetchAhead({{FtpSession::Ahead::Kind::Listing, base}});  // STAT at once, without entering first
      if (!listObjects(base)) return;
    }
    for (size_t i = 0; i < objects_.size(); ++i) send(i, false);

    // Every object directory at once, in the order they are read (the queue starts from its end).
    std::vector<FtpSession::Ahead> ahead;
    const auto checked = [](const Object& o) { return o.row.failure == Failure::None; };
    for (size_t i = objects_.size(); i-- > 0;) {
      if (checked(objects_[i])) ahead.push_back({FtpSession::Ahead::Kind::Listing, objects_[i].path});
      if (!checked(objects_[i])) send(i, true);
    }
    ftp_.FetchAhead(ahead);
    // The directories are read first, then the kind folders, gas files and alarm times of all objects
    // are asked together: the listings and times go out at once on the piped connection once it is
    // up, where asked object by object they would wait for each other on the first connection. The
    // kind folders go first, so that the piped connection takes them before a file while the times
    // wait for the server's features.
    for (size_t i = 0; i < objects_.size(); ++i) {
      if (checked(objects_[i]) && !listObject(objects_[i])) return lostRest();
    }
    ahead.clear();
    for (size_t i = objects_.size(); i-- > 0;)
      if (checked(objects_[i])) aheadReports(objects_[i], ahead);
    for (const auto kind : {FtpSession::Ahead::Kind::File, FtpSession::Ahead::Kind::Time}) {
      const char* suffix = kind == FtpSession::Ahead::Kind::File ? "-gaspar.txt" : "-alarm.txt";
      for (size_t i = objects_.size(); i-- > 0 && !oneObject;) {
        const Object& o = objects_[i];
        if (checked(o)) ahead.push_back({kind, ftp::joinPath(o.path, o.row.object + suffix)});
      }
    }
    ftp_.FetchAhead(ahead);
    for (size_t i = 0; i < objects_.size(); ++i) {
      if (!checked(objects_[i])) continue;
      if (!oneObject && !alarmOf(objects_[i])) return lostRest();
      // An object without lines is done here: there are no reports to wait for.
      const bool noLines = objects_[i].row.lines.empty();
      if (noLines && oneObject) objects_[i].row.object = objects_[i].path;  // no report tells the name
      send(i, noLines && (oneObject || finishGas(objects_[i])));
      if (lost_) return lostRest();
    }
    for (size_t i = 0; i < objects_.size(); ++i) {
      Object& o = objects_[i];
      if (o.row.lines.empty()) continue;  // done above
      if (!listReports(o)) return lostRest();
      if (oneObject && !nameFromReports(o)) {
        o.row.object = o.path;  // shown as the main window's object list shows it then
        send(i, true);
        continue;
      }
      newestReports(o);
      const bool done = finishGas(o);
      if (lost_) return lostRest();
      send(i, done);
    }
  }

 private:
  // Requests faster than the wait hook's tick never call it: the walk looks itself between its steps.
  void stopHere() const {
    if (stop_) throw Stopped{};
  }
  void send(size_t i, bool done) {
    stopHere();
    done_.resize(objects_.size());
    done_[i] = done;
    sink_(RowUpdate{record_, static_cast<int>(i), static_cast<int>(objects_.size()), objects_[i].row, done});
  }
  void stationFails(Failure f) {
    ObjectRow row;
    row.failure = f;
    row.detail = ui_.last;
    sink_(RowUpdate{record_, 0, 1, std::move(row), true});
  }
  // The objects not done could not be checked to the end: the connection dropped.
  void lostRest() {
    done_.resize(objects_.size());
    for (size_t i = 0; i < objects_.size(); ++i) {
      if (done_[i]) continue;
      objects_[i].row.failure = Failure::Lost;
      send(i, true);
    }
  }

  // A listing of dir walked whole; after a dropped connection once more on a new one.
  [[nodiscard]] FtpSession::Listing listed(const std::string& dir, std::vector<ftp::FindData>& out) {
    for (int attempt = 0;; ++attempt) {
      out.clear();
      browse_.CurrentDirectory = dir;
      FtpSession::Listing r = FtpSession::Listing::Failed;
      if (ftp_.FtpSetCurrentDirectory(ftp_.ConnectionHandle, dir)) {
        r = ftp_.ForEachEntry("*.*", find_, [&](const ftp::FindData& e) {
          out.push_back(e);
          return true;
        });
      }
      if (r != FtpSession::Listing::Failed || attempt > 0 || !connectionLost(ftp_.GetLastError())) return r;
      if (!ftp_.FtpReconnect()) return FtpSession::Listing::Failed;
    }
  }

  bool listObjects(const std::string& base) {
    std::vector<ftp::FindData> entries;
    const auto r = listed(base, entries);
    if (r != FtpSession::Listing::Listed) {
      stationFails(r == FtpSession::Listing::Empty       ? Failure::NoObjects
                   : connectionLost(ftp_.GetLastError()) ? Failure::Lost
                                                         : Failure::NoBase);
      return false;
    }
    for (const auto& e : entries) {
      if (e.attributes != ftp::kAttrDirectory || e.name == "." || e.name == "..") continue;
      Object o;
      o.row.object = e.name;
      o.path = ftp::joinPath(base, e.name);
      // A name that could leave a local path is not checked, as the main window does not choose it.
      if (!fsys::safeName(e.name)) o.row.failure = Failure::BadName;
      objects_.push_back(std::move(o));
    }
    if (objects_.empty()) stationFails(Failure::NoObjects);
    return !objects_.empty();
  }

  // The object directory and its lines. False when the connection is lost.
  bool listObject(Object& o) {
    const auto r = listed(o.path, o.entries);
    if (r == FtpSession::Listing::Failed && connectionLost(ftp_.GetLastError())) return false;
    o.row.listed = r == FtpSession::Listing::Listed;
    for (const auto& e : o.entries) {
      if (e.attributes == ftp::kAttrDirectory && isComputerDirectory(e.name))
        o.row.lines.push_back({e.name, {}});
    }
    o.files.resize(o.row.lines.size());
    return true;
  }

  // The alarm time as the directory shows it, with the exact time asked for. False when lost.
  bool alarmOf(Object& o) {
    if (listed(o.path, o.entries) == FtpSession::Listing::Failed && connectionLost(ftp_.GetLastError()))
      return false;
    findAlarm(o);
    return true;
  }

  void findAlarm(Object& o) {
    const std::string alarm = o.row.object + "-alarm.txt";
    for (const auto& e : o.entries) {
      if (e.attributes != ftp::kAttrDirectory && startsWith(e.name, alarm) && e.lastWriteValid) {
        o.row.alarm = e.lastWrite;
        return;
      }
    }
  }

  // The kind folders of every line of an object, to be fetched ahead.
  void aheadReports(const Object& o, std::vector<FtpSession::Ahead>& ahead) {
    browse_.ObjectPath = o.path;
    for (size_t l = o.row.lines.size(); l-- > 0;) {
      for (size_t k = kReportKindCount; k-- > 0;)
        ahead.push_back(
            {FtpSession::Ahead::Kind::Listing, ftp_.KindDirectory(kReportKinds[k], o.row.lines[l].line)});
    }
  }

  // Every kind folder of every line; a folder the server refuses has no reports. False when lost.
  bool listReports(Object& o) {
    browse_.ObjectPath = o.path;
    for (size_t l = 0; l < o.row.lines.size(); ++l) {
      browse_.ComputerDir = o.row.lines[l].line;
      for (const ReportKind kind : kReportKinds) {
        stopHere();
        const int entered = ftp_.EnterKindDirectory(kind);
        if (entered == 2) return false;
        if (entered == 1) continue;
        auto& files = o.files[l][static_cast<size_t>(kindIndex(kind))];
        const auto r = ftp_.ForEachEntry("*.*", find_, [&](const ftp::FindData& e) {
          if (e.attributes != ftp::kAttrDirectory) files.push_back(e);
          return true;
        });
        if (r == FtpSession::Listing::Failed && connectionLost(ftp_.GetLastError())) return false;
      }
    }
    o.row.reportsListed = true;
    return true;
  }

  // A connection to one object's directory: the object's name from its report file names, then its
  // alarm time as its directory listed it (with the exact time asked first). False when none tells it.
  bool nameFromReports(Object& o) {
    for (size_t l = 0; l < o.files.size(); ++l) {
      for (const ReportKind kind : kReportKinds) {
        for (const auto& e : o.files[l][static_cast<size_t>(kindIndex(kind))]) {
          const auto part = objectNamePart(e.name, o.row.lines[l].line, kind);
          if (!part || !usableObjectName(*part)) continue;
          o.row.object = *part;
          ftp_.FetchAhead(
              {{FtpSession::Ahead::Kind::Time, ftp::joinPath(o.path, o.row.object + "-alarm.txt")},
               {FtpSession::Ahead::Kind::File, ftp::joinPath(o.path, o.row.object + "-gaspar.txt")}});
          if (listed(o.path, o.entries) == FtpSession::Listing::Failed && connectionLost(ftp_.GetLastError()))
            lost_ = true;
          findAlarm(o);
          return true;
        }
      }
    }
    return false;
  }

  // The newest entry of each kind, as the last row of the line's report list.
  void newestReports(Object& o) {
    for (size_t l = 0; l < o.files.size(); ++l) {
      for (const ReportKind kind : kReportKinds) {
        const std::string search =
            o.row.object + "-" + o.row.lines[l].line + "-" + std::string(kindCode(kind));
        const std::string* newestName = nullptr;
        std::string newest;
        for (const auto& f : o.files[l][static_cast<size_t>(kindIndex(kind))]) {
          if (newestName && f.name <= *newestName) continue;
          if (auto entry = catalogueEntry(f.name, static_cast<uint32_t>(f.size), kind, search)) {
            newest = std::move(*entry);
            newestName = &f.name;
          }
        }
        o.row.lines[l].newest[static_cast<size_t>(kindIndex(kind))] = newest;
        if (kind != ReportKind::Hourly) continue;
        const auto hour = hourOfEntry(newest);
        if (hour && (!o.row.newestHourly || *o.row.newestHourly < *hour)) o.row.newestHourly = hour;
      }
    }
  }

  // The gas-parameter file read and judged as the main window does; the verified file goes into the
  // cache as received. True when done (a lost connection sets lost_ instead).
  bool finishGas(Object& o) {
    if (o.row.object.empty() || lost_) return false;
    const std::string name = o.row.object + "-gaspar.txt";
    browse_.CurrentDirectory = o.path;
    std::string content;
    FtpSession::WholeFile r = FtpSession::WholeFile::OpenFailed;
    for (int attempt = 0; attempt < 2; ++attempt) {
      r = ftp_.FtpSetCurrentDirectory(ftp_.ConnectionHandle, o.path) ? ftp_.ReadWholeFile(name, content)
                                                                     : FtpSession::WholeFile::OpenFailed;
      if (r != FtpSession::WholeFile::OpenFailed || !connectionLost(ftp_.GetLastError())) break;
      if (attempt > 0 || !ftp_.FtpReconnect()) {
        lost_ = true;
        return false;
      }
    }
    switch (r) {
      case FtpSession::WholeFile::OpenFailed:
      case FtpSession::WholeFile::Empty:
        o.row.gas = Gas::NoFile;
        return true;
      case FtpSession::WholeFile::ReadFailed:
      case FtpSession::WholeFile::TooLarge:
        o.row.gas = Gas::ReadFailed;
        return true;
      case FtpSession::WholeFile::Read:
        break;
    }
    if (content.size() > gas::kMaxContent + 1) content.resize(gas::kMaxContent + 1);
    const gas::ReadResult v = gas::verify(content);
    o.row.gas = v.status == gas::Check::Ok         ? Gas::Values
                : v.status == gas::Check::Checksum ? Gas::Checksum
                                                   : Gas::Format;
    o.row.values = v.values;
    if (v.status == gas::Check::Ok && fsys::safeName(o.row.object)) {
      const std::string folder = setup_.dataFolder + "REPORT" + fsys::kSeparator + o.row.object;
      fsys::createDirectory(setup_.dataFolder + "REPORT");
      fsys::createDirectory(folder);
      fsys::writeFileAtomic(folder + fsys::kSeparator + name, content, false);
    }
    return true;
  }

  SettingsFile settings_;
  TlsFile tls_;
  BrowseState browse_;
  QuietUi ui_;
  FtpSession ftp_;
  const CheckSetup& setup_;
  int record_;
  const RowSink& sink_;
  const std::atomic<bool>& stop_;
  ftp::FindData find_;
  std::vector<Object> objects_;
  std::vector<bool> done_;
  bool lost_ = false;
};

}  // namespace

void checkStation(const SettingsFile& settings, int record, const TlsFile& tls, const CheckSetup& setup,
                  const std::atomic<bool>& stop, const RowSink& sink) {
  Walk walk(settings, record, tls, setup, stop, sink);
  try {
    walk.run();
  } catch (const std::exception&) {
    walk.failed();
  }
}

}  // namespace overview
