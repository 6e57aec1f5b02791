#include "LatencyRoad.h"

#include <chrono>
#include <cstdio>

#include "app/Main.h"
#include "core/ReportKind.h"
#include "settings/TlsFile.h"
#include "support/ModalDriver.h"
#include "support/RecorderUi.h"
#include "support/TempDir.h"
#include "view/Rep_view.h"

namespace {

using Steady = std::chrono::steady_clock;

double seconds(Steady::time_point t0) {
  return std::chrono::duration<double>(Steady::now() - t0).count();
}

// Times one step of the road and marks it in the transcript, if one is kept.
class Step {
 public:
  Step(RoadTranscript* transcript, const char* name) : transcript_(transcript) {
    if (transcript_) transcript_->begin(name);
    t0_ = Steady::now();
  }
  double stop() {
    const double s = seconds(t0_);
    if (transcript_) transcript_->end();
    return s;
  }

 private:
  RoadTranscript* transcript_;
  Steady::time_point t0_;
};

}  // namespace

bool road(const char* host, const Column& col, Times& t, RoadTranscript* transcript) {
  const std::string& pin = col.pin;
  TempDir exe;
  RecorderUi ui;
  TFormMain form(exe.cp1251(), ui);
  ConnectionRecord r;
  r.setName("bench");
  r.setHost(host);
  r.setPort(col.port);
  r.setUser(col.user);
  r.setPassword("secret");
  form.Settings.setRecord(0, r);
  form.Settings.setConnectionCount(1);
  form.Settings.setCurrentConnection(0);
  if (!pin.empty()) form.Tls.set(TlsFile::keyOf(r), {ftp::TlsMode::Required, pin, std::string(95, '0')});
  form.Ftp.setConnections(col.connections);
  form.Browse.SourceMode = Source::Ftp;
  if (transcript) form.Ftp.setTranscript(transcript->sink());

  Step step(transcript, "connect + object list");
  if (!form.Ftp.FtpOpen() ||
      !form.Ftp.FtpGetCurrentDirectory(form.Ftp.ConnectionHandle, form.Browse.BaseDirectory)) {
    std::printf("bench_latency: %s connect: error %u\n", col.name.c_str(), form.Ftp.GetLastError());
    return false;
  }
  form.Browse.CurrentDirectory = form.Browse.BaseDirectory;
  if (const int listed = form.ListObjects(); listed != 0) {
    std::printf("bench_latency: %s object list: %d, error %u\n", col.name.c_str(), listed,
                form.Ftp.GetLastError());
    return false;
  }
  t.connect.push_back(step.stop());
  form.Ftp.AwaitExtras();  // the extra connections log in while the operator looks at the list

  form.StringGrid1->selectRow(form.StringGrid1->findRow(0, "A"));
  step = Step(transcript, "object click");
  form.StringGrid1Click();
  t.object.push_back(step.stop());

  form.StringGrid2->selectRow(form.StringGrid2->row() == 0 ? 1 : 0);
  step = Step(transcript, "line click");
  form.StringGrid2Click();
  t.line.push_back(step.stop());

  TStringGrid* daily = form.reportGrids()[kindIndex(ReportKind::DailyShort)];
  daily->setCurrentCell(daily->rowCount() - 1, 1);
  bool shown = false;
  onModal<TFormRep_View>([&shown](TFormRep_View* v) {
    shown = true;
    v->BitBtn1->click();
  });
  step = Step(transcript, "report open");
  form.ReportListClick(ReportKind::DailyShort);
  t.report.push_back(step.stop());

  // The next object, as an operator goes on: the connections are now in the types their last transfers
  // left them in, as they mostly are.
  form.StringGrid1->selectRow(form.StringGrid1->findRow(0, "B"));
  step = Step(transcript, "next object click");
  form.StringGrid1Click();
  t.objectLater.push_back(step.stop());

  const auto t0 = Steady::now();
  form.Ftp.FtpClose();
  t.close.push_back(seconds(t0));
  if (!shown || !ui.messages.empty())
    std::printf("bench_latency: %s road: %s\n", col.name.c_str(),
                ui.messages.empty() ? "no report shown" : ui.messages.front().text.c_str());
  return shown && ui.messages.empty();
}
