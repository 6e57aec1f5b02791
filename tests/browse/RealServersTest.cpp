// Every road of the window on each real server, in both access modes, on a station whose login folder
// and object names hold blanks and "я": the object list, the lines, the five report lists, a report,
// the alarm messages, the gas values and their upload. inetutils-ftpd hands LIST's argument to ls, which
// splits it at the blanks.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "gas/GasFile.h"
#include "gas/Stat_par.h"
#include "settings/Conn_list.h"
#include "support/FtpServer.h"
#include "support/ListRows.h"
#include "support/MainWindowFixture.h"
#include "support/ModalDriver.h"
#include "view/Alarm_view.h"
#include "view/Rep_view.h"

namespace {

using Strings = std::vector<std::string>;

const std::string kStation = "/\xd1\xf2\xe0\xed\xf6\xe8\xff \xff";  // "Станция я"
const std::string kObject = "\xc3\xd0\xd1 \xde\xe6\xed\xe0\xff";    // "ГРС Южная"
const std::string kOther = "\xc7\xe0\xf0\xff-\xf4";                 // "Заря-ф"
const std::string kReport = kObject + "-v0017n1-sutkr-2009.03.05.txt";

class RealServersTest : public MainWindowFixture, public ::testing::WithParamInterface<FtpServerKind> {
 protected:
  // The station on a server whose login folder is home; false (skipped) where the server cannot run.
  bool start(const std::string& home) {
    FtpServer::Options o;
    o.kind = GetParam();
    o.home = home;
    server = std::make_unique<FtpServer>(o);
    if (!server->skipReason().empty()) return false;
    const std::string obj = kStation + "/" + kObject;
    for (const char* kind : {"chakr", "sutko", "meskr", "mesko"}) server->makeDir(obj + "/v0017n1/" + kind);
    server->putFile(obj + "/v0017n1/sutkr/" + kReport, "line 1\r\nline 2\r\nthe last line\r\n");
    server->putFile(obj + "/" + kObject + "-alarm.txt", "05.03.09 14:07:01 alarm\r\n");
    server->putFile(obj + "/" + kObject + "-gaspar.txt", gas::composeFile({0.68f, 1.0f, 0.5f, 750.0f}));
    server->makeDir(kStation + "/" + kOther);
    return true;
  }

  void connect(Access access, int connections) {
    make();
    useServer(server->port(), access, connections);
    ConnectionRecord r = form->Settings.record(0);
    r.setUser(server->user());
    form->Settings.setRecord(0, r);
    onModal<TFormConn_List>([](TFormConn_List* l) { l->BitBtn1->click(); });
    form->N_ServListClick();
  }

  // The object shown: its lines, its report lists, the report opened, the alarms, the gas values; then
  // new gas values uploaded and read back.
  void expectTheObjectShown() {
    EXPECT_EQ(column(form->StringGrid2), Strings{"v0017n1"});
    EXPECT_EQ(column(form->StringGrid4, 1), Strings{" 2009.03.05"});
    EXPECT_EQ(form->pn4->text().toStdString(), "750");
    EXPECT_FALSE(form->Panel3->text().isEmpty()) << "the alarm file's time";
    Strings report, alarms;
    form->StringGrid4->setCurrentCell(0, 1);
    onModal<TFormRep_View>([&](TFormRep_View* v) {
      report = listRows(v->Rows);
      v->BitBtn1->click();
    });
    form->ReportListClick(ReportKind::DailyShort);
    EXPECT_EQ(report, (Strings{"  line 1", "  line 2", "  the last line", "  "}));
    onModal<TFormAlarm_View>([&](TFormAlarm_View* v) {
      alarms = listRows(v->Rows);
      v->BitBtn1->click();
    });
    form->BitBtn3Click();
    EXPECT_EQ(alarms, (Strings{"", "05.03.09 14:07:01 alarm"}));
    onModal<TFormStat_Par>([](TFormStat_Par* d) {
      d->Edit1->setText("0.7");
      d->Edit2->setText("1");
      d->Edit3->setText("1");
      d->Edit4->setText("701");
      d->BitBtn1->click();
    });
    form->BitBtn1Click();
    EXPECT_EQ(form->pn4->text().toStdString(), "701") << "uploaded and read back";
    EXPECT_EQ(ui.texts(), Strings{});
  }

  std::unique_ptr<FtpServer> server;
};

TEST_P(RealServersTest, ObjectListRoads) {
  if (!start(kStation)) GTEST_SKIP() << server->skipReason();
  connect(Access::ObjectList, ftp::kMaxConnections);  // what a click asks next, fetched ahead
  const Strings objects = column(form->StringGrid1);
  EXPECT_EQ(std::set<std::string>(objects.begin(), objects.end()), (std::set<std::string>{kObject, kOther}));
  form->StringGrid1->selectRow(form->StringGrid1->findRow(0, kObject));
  form->StringGrid1Click();
  expectTheObjectShown();
}

TEST_P(RealServersTest, ObjectDirectoryRoads) {
  if (!start(kStation + "/" + kObject)) GTEST_SKIP() << server->skipReason();
  connect(Access::ObjectDirectory, 1);
  EXPECT_EQ(column(form->StringGrid1), Strings{kObject}) << "the object's name found from its files";
  expectTheObjectShown();
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServersTest,
                         ::testing::Values(FtpServerKind::ProFtpd, FtpServerKind::Vsftpd,
                                           FtpServerKind::PureFtpd, FtpServerKind::Inetutils),
                         [](const auto& info) { return std::string(ftpServerKindName(info.param)); });

}  // namespace
