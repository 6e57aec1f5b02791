// The clicks on one connection (their exact command transcripts) and on five: the same lists, texts and
// messages either way, whatever the server does in between.
#include <gtest/gtest.h>

#include <QStringListModel>

#include <thread>

#include "core/ReportKind.h"
#include "support/FtpServer.h"
#include "support/ListRows.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "support/TimeZone.h"
#include "view/Rep_view.h"

namespace {

using Strings = std::vector<std::string>;

const std::string kGas = "\r\n\r\nSP: 0.6800 1.0000 0.5000 750.0 0x4e4f\r\n";

// The station: object A with two lines (the first without "mesko" and with an empty "sutko"), its gas
// file and alarm file, and an object B without anything.
void buildStation(const FtpServer& s) {
  s.putFile("/A/A-gaspar.txt", kGas);
  s.setTime("/A/A-gaspar.txt", 1236250000);
  s.putFile("/A/A-alarm.txt", "alarm");
  s.setTime("/A/A-alarm.txt", 1236251229);
  for (const char* k : {"sutkr", "meskr"}) {
    s.putFile(std::string("/A/v0017n1/") + k + "/A-v0017n1-" + k + "-2009.03.05.txt", std::string("1 ") + k);
  }
  s.putFile("/A/v0017n1/chakr/A-v0017n1-chakr-2009.03.05-14.txt", "hourly");
  s.putFile("/A/v0017n1/chakr/A-v0017n1-chakr-2009.03.05-13.txt", "hourly");
  s.makeDir("/A/v0017n1/sutko");
  for (const char* k : {"chakr", "sutkr", "sutko", "meskr", "mesko"}) {
    s.putFile(std::string("/A/v0017n2/") + k + "/A-v0017n2-" + k + "-2009.03.06.txt", std::string("2 ") + k);
  }
  s.makeDir("/B");
}

// Everything the window shows after a step.
struct Shown {
  Strings objects, lines;
  std::vector<Strings> reports;
  Strings panels;  // alarm time, the four gas values, their time, the note
  Strings messages;
  Strings viewer;  // caption and rows of a report opened
  bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& s, std::ostream* os) {
  const auto list = [&](const char* name, const Strings& v) {
    *os << name << ":";
    for (const auto& x : v) *os << " [" << x << "]";
    *os << "\n";
  };
  list("objects", s.objects);
  list("lines", s.lines);
  for (const auto& r : s.reports) list("reports", r);
  list("panels", s.panels);
  list("messages", s.messages);
  list("viewer", s.viewer);
}

class ConcurrentTest : public MainWindowFixture {
 protected:
  int extrasReady = 0;  // after the last road

  void SetUp() override { useTestTimeZone(); }

  void clickObject(const std::string& name) {
    form->StringGrid1->selectRow(form->StringGrid1->findRow(0, name));
    form->StringGrid1Click();
  }
  void clickLine(const std::string& name) {
    form->StringGrid2->selectRow(form->StringGrid2->findRow(0, name));
    form->StringGrid2Click();
  }
  Strings openLastDaily() {
    TStringGrid* g = form->StringGrid4;
    g->setCurrentCell(g->rowCount() - 1, 1);
    auto rows = std::make_shared<Strings>();
    onModal<TFormRep_View>([rows](TFormRep_View* v) {
      rows->push_back(v->windowTitle().toStdString());
      for (const std::string& r : listRows(v->Rows)) rows->push_back(r);
      v->BitBtn1->click();
    });
    form->ReportListClick(ReportKind::DailyShort);
    return *rows;
  }

  Shown shown(Strings viewer = {}) {
    Shown s{column(form->StringGrid1), column(form->StringGrid2), {}, {}, ui.texts(), std::move(viewer)};
    for (TStringGrid* g : form->reportGrids()) s.reports.push_back(column(g, 1));
    for (QLabel* l : {static_cast<QLabel*>(form->Panel3), static_cast<QLabel*>(form->pn1),
                      static_cast<QLabel*>(form->pn2), static_cast<QLabel*>(form->pn3),
                      static_cast<QLabel*>(form->pn4), static_cast<QLabel*>(form->Panel6), form->Label19}) {
      s.panels.push_back(l->text().toStdString());
    }
    ui.messages.clear();
    EXPECT_EQ(form->Ftp.TransferHandle, kNoHandle) << "a listing or file left open";
    return s;
  }

  // The road of an operator: connect, object A, the second line, the first line, a refresh, a report.
  // Each step's commands go to log.
  std::vector<Shown> road(FtpServer& server, int connections, std::vector<Strings>& log,
                          double pauseBeforeLineOne = 0) {
    std::vector<Shown> out;
    const auto step = [&](const std::function<Strings()>& act) {
      server.clearLog();
      Strings viewer = act();
      log.push_back(server.commands());
      out.push_back(shown(std::move(viewer)));
    };
    step([&] { return connectTo(server.port(), Access::ObjectList, connections), Strings{}; });
    form->Ftp.AwaitExtras();  // their logins end while the operator looks at the list
    step([&] { return clickObject("A"), Strings{}; });
    step([&] { return clickLine("v0017n2"), Strings{}; });
    if (pauseBeforeLineOne > 0) {
      form->Ftp.AwaitExtras();
      std::this_thread::sleep_for(std::chrono::duration<double>(pauseBeforeLineOne));
    }
    step([&] { return clickLine("v0017n1"), Strings{}; });
    step([&] { return form->BitBtn2Click(), Strings{}; });
    step([&] { return openLastDaily(); });
    extrasReady = form->Ftp.ExtrasReady();
    form.reset();
    return out;
  }
};

TEST_F(ConcurrentTest, OneConnectionTranscripts) {
  FtpServer server;
  buildStation(server);
  std::vector<Strings> log;
  const auto steps = road(server, 1, log);
  // A listing tells that its folder can be entered: the kind folders are not entered first. STAT lists
  // them; the empty one (the test server shows no "." there) and the missing one are listed with MLSD
  // then. The missing one is refused; CWD then tells it is missing, and the second attempt needs no command.
  const auto kinds = [](const std::string& line, bool typeSwitch) {
    Strings c;
    for (const char* k : {"chakr", "sutkr", "sutko", "meskr", "mesko"}) {
      const std::string dir = "/A/" + line + "/" + k;
      c.push_back("STAT " + dir);
      if (line == "v0017n2" || k == std::string("chakr") || k == std::string("sutkr") ||
          k == std::string("meskr"))
        continue;
      c.push_back("EPSV");
      if (typeSwitch) c.push_back("TYPE A");  // after the gas file's binary transfer
      typeSwitch = false;
      c.push_back("MLSD " + dir);
    }
    if (line == "v0017n1") c.push_back("CWD /A/v0017n1/mesko");
    return c;
  };
  // The first object (row 0) is listed after the login; A is clicked afterwards.
  ASSERT_GE(log[0].size(), 5u);
  EXPECT_EQ(Strings(log[0].begin(), log[0].begin() + 5),
            (Strings{"USER op", "PASS secret", "PWD", "FEAT", "STAT /"}))
      << "no second PWD: the login's named the login directory";
  // The alarm and gas file times to the second, as MLSD would give them.
  const Strings clicked{"STAT /A", "MDTM /A/A-alarm.txt", "MDTM /A/A-gaspar.txt", "EPSV",
                        "TYPE I",  "RETR /A/A-gaspar.txt"};
  Strings object = clicked;
  const std::string firstLine = steps[1].lines[0];
  const Strings lineKinds = kinds(firstLine, true);
  object.insert(object.end(), lineKinds.begin(), lineKinds.end());
  EXPECT_EQ(log[1], object) << "the listing answers entering /A and the gas file's MLST; no SIZE";
  EXPECT_EQ(log[2], kinds("v0017n2", false));
  EXPECT_EQ(log[3], kinds("v0017n1", false));
  // The refresh probes the login directory with CWD and a listing, which also answers the object list.
  Strings refresh{"CWD /", "STAT /"};
  refresh.insert(refresh.end(), clicked.begin(), clicked.end());
  const Strings again = kinds("v0017n1", true);
  refresh.insert(refresh.end(), again.begin(), again.end());
  EXPECT_EQ(log[4], refresh);
  EXPECT_EQ(log[5], (Strings{"CWD /A/v0017n1/sutkr", "EPSV", "TYPE I",
                             "RETR /A/v0017n1/sutkr/A-v0017n1-sutkr-2009.03.05.txt"}));
  EXPECT_EQ(steps[5].viewer.size(), 2u);
}

TEST_F(ConcurrentTest, FiveConnectionsShowWhatOneShows) {
  const struct {
    const char* name;
    const char* faults;
    int maxConnections;
    double idle;
  } cases[] = {
      {"a plain station", "[]", 0, 0},
      {"a kind listing dropped once", R"([{"cmd":"STAT","arg":"sutkr","action":"drop","times":1}])", 0, 0},
      {"the gas file always dropped", R"([{"cmd":"RETR","arg":"gaspar","action":"drop"}])", 0, 0},
      {"a server that takes one connection", "[]", 1, 0},
      {"idle connections closed between two clicks", "[]", 0, 0.6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::vector<Shown>> runs;
    std::vector<Strings> concurrentLog;
    for (const int connections : {1, 5}) {
      FtpServer::Options o;
      o.maxConnections = c.maxConnections;
      o.idleSeconds = c.idle;
      FtpServer server(o);
      buildStation(server);
      server.setFaults(c.faults);
      std::vector<Strings> log;
      runs.push_back(road(server, connections, log, c.idle > 0 ? c.idle + 0.4 : 0));
      if (connections == 5) concurrentLog = log;
    }
    ASSERT_EQ(runs[0].size(), runs[1].size());
    for (size_t i = 0; i < runs[0].size(); ++i) EXPECT_EQ(runs[1][i], runs[0][i]) << "step " << i;
    // Not vacuous: the road showed A's lines, reports and the daily report.
    EXPECT_EQ(runs[1][3].lines.size(), 2u);
    EXPECT_EQ(runs[1][3].reports[0].size(), 2u);
    EXPECT_EQ(runs[1][3].reports[4], Strings{""}) << "mesko is missing";
    EXPECT_EQ(runs[1][5].viewer.size(), 2u);
    if (c.maxConnections == 0 && c.idle == 0 && std::string(c.faults) == "[]") {
      // The line click: the extra connections listed four kinds (and found "mesko" refused); the first
      // connection listed the kind asked first. The empty and the missing kind went on to MLSD.
      Strings line = concurrentLog[3];
      line.erase(std::remove(line.begin(), line.end(), "TYPE A"), line.end());  // where a file came last
      std::sort(line.begin(), line.end());
      Strings expected{"CWD /A/v0017n1/mesko"};
      for (const char* k : {"chakr", "sutkr", "sutko", "meskr", "mesko"})
        expected.push_back(std::string("STAT /A/v0017n1/") + k);
      for (const char* k : {"sutko", "mesko"})
        expected.insert(expected.end(), {"EPSV", std::string("MLSD /A/v0017n1/") + k});
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(line, expected);
      EXPECT_EQ(extrasReady, 4);
    }
    // Each scenario really happened on the five-connection road.
    const auto count = [](const Strings& log, const std::string& prefix) {
      return std::count_if(log.begin(), log.end(),
                           [&](const std::string& x) { return x.rfind(prefix, 0) == 0; });
    };
    if (c.maxConnections == 1) {
      EXPECT_EQ(extrasReady, 0) << "the extra connections were refused";
    }
    if (c.idle > 0) {
      EXPECT_GE(count(concurrentLog[3], "USER op"), 2) << "closed connections were opened again";
    }
    if (std::string(c.faults).find("sutkr") != std::string::npos) {
      // In the step that listed A's first line (the remembered object is clicked at the connect).
      const bool twice = std::any_of(concurrentLog.begin(), concurrentLog.end(), [](const Strings& step) {
        return std::count_if(step.begin(), step.end(), [](const std::string& x) {
                 return x.rfind("STAT /A/v0017n", 0) == 0 && x.compare(x.size() - 6, 6, "/sutkr") == 0;
               }) == 2;
      });
      EXPECT_TRUE(twice) << "dropped once, then listed";
    }
  }
}

}  // namespace
