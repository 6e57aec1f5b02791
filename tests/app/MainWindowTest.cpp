#include "app/Main.h"

#include <gtest/gtest.h>

#include <chrono>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "about/About.h"
#include "app/Application.h"
#include "app/QtUi.h"
#include "core/Cp1251.h"
#include "settings/Conn_list.h"
#include "support/FtpServer.h"
#include "support/ModalDriver.h"
#include "support/RecorderUi.h"
#include "support/TempDir.h"

namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { formats::current() = before; }
  void TearDown() override {
    form.reset();
    // No window may outlive its test.
    for (QWidget* w : QApplication::topLevelWidgets())
      EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
  }

  TFormMain& make() {
    form = std::make_unique<TFormMain>(dir.cp1251(), ui);
    return *form;
  }

  // A shown window whose one connection is the server; the connection list it opens at the start is
  // cancelled. Returns the stored record.
  ConnectionRecord showConnected(const FtpServer& server, const char* name, int32_t lastRow) {
    make();
    ConnectionRecord r;
    r.setName(name);
    r.setHost("127.0.0.1");
    r.setPort(server.port());
    r.setUser("op");
    r.setPassword("secret");
    r.setLastObjectRow(lastRow);
    form->Settings.setRecord(0, r);
    form->Settings.setConnectionCount(1);
    auto cancelled = std::make_shared<bool>(false);
    onModal<TFormConn_List>([cancelled](TFormConn_List* l) {
      l->BitBtn6->click();
      *cancelled = true;
    });
    form->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return *cancelled; }, 5000)) << "the list opens when the timer fires";
    return r;
  }

  template <typename T = QWidget>
  T* child(const char* name) {
    T* w = form->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  const formats::DateTimeFormats before{"dd.mm.yyyy", "h:mm:ss"};
  TempDir dir;
  RecorderUi ui;
  std::unique_ptr<TFormMain> form;
};

TEST_F(MainWindowTest, LayoutPositionsSizesAndTexts) {
  make();
  struct Case {
    const char* name;
    QRect geometry;
    const char* text;  // nullptr: not checked
  };
  const Case cases[] = {
      {"ps1", {12, 9, 958, 426}, nullptr},
      {"Panel4", {0, 0, 119, 45}, "Объект"},
      {"Panel9", {121, 0, 119, 45}, "Вычислитель,\nнитка"},
      {"Panel11", {243, 0, 182, 45}, "Часовой\nкраткий"},
      {"Panel12", {428, 0, 129, 45}, "Суточный\nкраткий"},
      {"Panel13", {560, 0, 129, 45}, "Суточный\nкоммерческий"},
      {"Panel14", {692, 0, 129, 45}, "Месячный\nкраткий"},
      {"Panel2", {824, 0, 129, 45}, "Месячный\nкоммерческий"},
      {"StringGrid1", {0, 43, 119, 380}, nullptr},
      {"StringGrid2", {121, 43, 119, 380}, nullptr},
      {"StringGrid3", {243, 43, 182, 380}, nullptr},
      {"StringGrid4", {428, 43, 129, 380}, nullptr},
      {"StringGrid5", {560, 43, 129, 380}, nullptr},
      {"StringGrid6", {692, 43, 129, 380}, nullptr},
      {"StringGrid7", {824, 43, 129, 380}, nullptr},
      {"GroupBox6", {12, 470, 954, 134}, nullptr},
      {"BitBtn2", {804, 612, 162, 32}, "Обновить данные"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget* w = child(c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), c.geometry);
    if (c.text) {
      const auto* label = qobject_cast<QLabel*>(w);
      const auto* button = qobject_cast<QPushButton*>(w);
      EXPECT_EQ((label ? label->text() : button->text()).toStdString(), c.text);
    }
  }
  EXPECT_EQ(form->GroupBox6->title().toStdString(),
            " Параметры газа для записи в вычислители/корректоры текущего объекта ");
  EXPECT_EQ(form->Label20->text().toStdString(), "Время последней записи в файл тревожных сообщений");
  EXPECT_EQ(form->Label20->y(), 442);
  EXPECT_EQ(form->Panel3->y(), 442);
  EXPECT_EQ(form->BitBtn3->text().toStdString(), "Смотреть");
  EXPECT_EQ(form->BitBtn1->text().toStdString(), "Изменить");
  EXPECT_EQ(form->Panel3->text().toStdString(), "Нет сообщений");
  EXPECT_EQ(form->windowTitle().toStdString(), " Просмотр/печать  отчетов");
  EXPECT_EQ(form->centralWidget(), form->Panel1);
  EXPECT_EQ(form->Panel1->palette().color(QPalette::Window), QColor(211, 211, 211));
  for (const char* h : {"Panel4", "Panel9", "Panel11", "Panel12", "Panel13", "Panel14", "Panel2"}) {
    SCOPED_TRACE(h);
    EXPECT_FALSE(child(h)->isEnabled());
    EXPECT_EQ(child(h)->palette().color(QPalette::Window), QColor(232, 232, 232));
  }
  // Gas-parameter captions, units and ranges.
  const std::pair<const char*, const char*> gasTexts[] = {
      {"pn1Title", "Плотность"},
      {"pn1Unit", "кг/м3"},
      {"pn1Range", "(0.66...1.05)"},
      {"pn2Title", "Молярная доля CO2"},
      {"pn2Unit", "%"},
      {"pn2Range", "(0...15)"},
      {"pn3Title", "Молярная доля N2"},
      {"pn3Unit", "%"},
      {"pn3Range", "(0...15)"},
      {"pn4Title", "Атм. давл."},
      {"pn4Unit", "мм рт.ст."},
      {"pn4Range", "(630...800)"},
      {"Panel6Title", "Время ввода\nпараметров"},
  };
  for (const auto& [name, text] : gasTexts) {
    auto* l = child<QLabel>(name);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->text().toStdString(), text);
    EXPECT_EQ(l->parentWidget(), form->GroupBox6);
  }
}

TEST_F(MainWindowTest, GridsHaveTheirColumnsRowsAndFont) {
  make();
  struct Case {
    TStringGrid* grid;
    std::vector<int> widths;
  };
  const Case cases[] = {{form->StringGrid1, {117}},    {form->StringGrid2, {117}},
                        {form->StringGrid3, {6, 179}}, {form->StringGrid4, {8, 127}},
                        {form->StringGrid5, {8, 127}}, {form->StringGrid6, {8, 127}},
                        {form->StringGrid7, {8, 127}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.grid->objectName().toStdString());
    ASSERT_EQ(c.grid->columnCount(), static_cast<int>(c.widths.size()));
    for (size_t k = 0; k < c.widths.size(); ++k)
      EXPECT_EQ(c.grid->columnWidth(static_cast<int>(k)), c.widths[k]);
    EXPECT_EQ(c.grid->verticalHeader()->defaultSectionSize(), 20);
    EXPECT_EQ(c.grid->font().family().toStdString(), "Arial");
    EXPECT_EQ(c.grid->font().pixelSize(), 17);
    EXPECT_EQ(c.grid->selectionBehavior(),
              c.widths.size() == 1 ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    EXPECT_EQ(c.grid->editTriggers(), QAbstractItemView::NoEditTriggers);
  }
}

TEST_F(MainWindowTest, MenuItemsInOrder) {
  make();
  const auto actions = form->menuBar()->actions();
  std::vector<std::string> texts;
  for (QAction* a : actions) texts.push_back(a->text().toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{"Файл", "Выбор FTP- сервера", "Выбор каталога", "Обзор станций",
                                             "Создание объекта", "О программе"}));
  ASSERT_EQ(form->FileMenu->actions().size(), 1);
  EXPECT_EQ(form->FileMenu->actions()[0], form->N3);
  EXPECT_EQ(form->N3->text().toStdString(), "Выход");
  EXPECT_EQ(form->TimerStart->interval(), 10);
  EXPECT_TRUE(form->TimerStart->isSingleShot());
  EXPECT_FALSE(form->TimerStart->isActive()) << "armed only when the window is shown";
}

TEST_F(MainWindowTest, CreateMakesTheFoldersAndLoadsTheSettings) {
  std::string img(4196, '\0');
  img[0] = 1;
  img.replace(2, 6, "\xd1\xf2\xe0\xed\xf6\xe8\xff");
  img[2 + 100] = 21;
  std::filesystem::create_directory(dir.path() / "INI");
  writeBytes(dir.path() / "INI" / "ftp_conn.ini", img);
  make();
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "REPORT"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "INI"));
  EXPECT_EQ(form->SettingsPath, dir.cp1251() + "INI" + fsys::kSeparator + "ftp_conn.ini");
  EXPECT_EQ(form->Settings.connectionCount(), 1);
  EXPECT_EQ(form->Settings.record(0).name(), "\xd1\xf2\xe0\xed\xf6\xe8\xff");
  EXPECT_EQ(form->Browse.ActiveLocalDirectory, LocalDirectory::None);
  EXPECT_EQ(form->Ftp.SessionHandle, kNoHandle);
}

TEST_F(MainWindowTest, ShowSwitchesFormatsClearsListsAndArmsTheTimer) {
  make();
  form->StringGrid1->setCell(0, 0, "obj");
  form->StringGrid1->setEnabled(true);
  form->setRefreshRequest(true);
  bool listOpened = false;
  onModal<TFormConn_List>([&](TFormConn_List* l) {
    listOpened = true;
    l->BitBtn6->click();
  });
  form->show();
  EXPECT_EQ(form->size(), QSize(994, 715));
  EXPECT_EQ(formats::current(), (formats::DateTimeFormats{"dd.mm.yy", "hh:mm:ss"}));
  EXPECT_EQ(form->StringGrid1->cell(0, 0), "");
  EXPECT_FALSE(form->StringGrid1->isEnabled());
  EXPECT_FALSE(form->RefreshRequest());
  EXPECT_TRUE(form->TimerStart->isActive());
  // However slow the machine (ThreadSanitizer's build is): the list comes once the timer fires.
  EXPECT_TRUE(QTest::qWaitFor([&] { return listOpened; }, 5000)) << "the connection list opens by itself";
  EXPECT_FALSE(form->TimerStart->isActive()) << "fires once";
  form->close();
  EXPECT_EQ(formats::current(), before) << "the formats in force before the show come back";
}

TEST_F(MainWindowTest, CloseClosesTheSessionThenWritesTheSettings) {
  FtpServer server;
  const ConnectionRecord r = showConnected(server, "\xc3\xd0\xd1", 4);
  ASSERT_TRUE(form->Ftp.FtpOpen());
  ASSERT_TRUE(form->Browse.Connected);
  form->Ftp.AwaitExtras();  // their logins run on threads of their own
  ASSERT_EQ(form->Ftp.ExtrasReady(), ftp::kMaxConnections - 1);
  server.clearLog();
  form->N3Click();  // "Выход"
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->Browse.Connected);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return server.commands().size() >= size_t{ftp::kMaxConnections}; }, 5000));
  EXPECT_EQ(server.commands(), std::vector<std::string>(ftp::kMaxConnections, "QUIT"));
  const std::string saved = readBytes(dir.path() / "INI" / "ftp_conn.ini");
  ASSERT_EQ(saved.size(), 4196u);
  const auto image = form->Settings.image();
  EXPECT_EQ(saved, std::string(reinterpret_cast<const char*>(image.data()), image.size()));

  // The next start sees the same connection and remembered row.
  form.reset();
  make();
  EXPECT_EQ(form->Settings.record(0), r);
  EXPECT_EQ(form->Settings.connectionCount(), 1);
}

// A close asked while a server is awaited ends the wait at once (the listing held back far longer), then
// closes the window and its session from the event loop.
TEST_F(MainWindowTest, WhileAServerIsAwaitedTheWindowRepaintsAndACloseEndsTheWait) {
  FtpServer server;
  server.makeDir("/obj");
  showConnected(server, "s", 0);
  ASSERT_TRUE(form->Ftp.FtpOpen());
  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      paints += e->type() == QEvent::Paint;
      return false;
    }
  } counter;
  form->Panel1->installEventFilter(&counter);
  server.setFaults(R"([{"cmd":"STAT","action":"delay","seconds":4}])");
  int paintsMeanwhile = -1;
  QTimer::singleShot(100, [&] { form->Panel1->update(); });
  QTimer::singleShot(300, [&] {
    paintsMeanwhile = counter.paints;
    form->close();
  });
  const auto t0 = std::chrono::steady_clock::now();
  ftp::FindData e;
  EXPECT_THROW((void)form->Ftp.ForEachEntry("*.*", e, [](const ftp::FindData&) { return true; }),
               WindowClosing);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2000));
  EXPECT_GT(paintsMeanwhile, 0) << "the window repainted while the listing was awaited";
  EXPECT_TRUE(form->isVisible()) << "the session is closed from the event loop, not under the wait";
  QCoreApplication::processEvents();
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->Browse.Connected);
  EXPECT_FALSE(form->Ftp.isOpen());
}

// The connection list closed while its connection is made (the server never answers the password): the
// login is abandoned at once and the list closes, nothing connected, nothing said.
TEST_F(MainWindowTest, ClosingTheConnectionListWhileItConnectsEndsTheLogin) {
  FtpServer server;
  server.setFaults(R"([{"cmd":"PASS","action":"hang"}])");
  showConnected(server, "s", 0);
  form->Ftp.setTimeouts({30, 30, 30});
  onModal<TFormConn_List>([](TFormConn_List* l) {
    QTimer::singleShot(300, l, [l] { l->close(); });
    l->BitBtn1->click();
  });
  const auto t0 = std::chrono::steady_clock::now();
  form->N_ServListClick();
  // Far below the 30 s time-out; Wine without a window manager alone takes 2 s to hide a dialog.
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(5000));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_FALSE(form->Browse.Connected);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(form->isVisible());
  form->close();
}

TEST_F(MainWindowTest, ClearBrowseSwitches) {
  make();
  const auto fill = [&] {
    form->StringGrid1->setCell(0, 0, "obj1");
    form->StringGrid1->setCell(0, 1, "obj2");
    form->StringGrid2->setCell(0, 0, "v0017n1");
    for (TStringGrid* g : form->reportGrids()) {
      g->setCell(1, 0, "05.03.09");
      g->setCell(1, 1, "06.03.09");
      g->setColumnWidth(1, 160);
      g->setEnabled(true);
    }
    form->StringGrid1->setEnabled(true);
    form->StringGrid2->setEnabled(true);
    for (QLabel* l :
         {static_cast<QLabel*>(form->pn1), static_cast<QLabel*>(form->pn2), static_cast<QLabel*>(form->pn3),
          static_cast<QLabel*>(form->pn4), static_cast<QLabel*>(form->Panel6), form->Label19,
          static_cast<QLabel*>(form->Panel3)}) {
      l->setText("x");
    }
    for (QPushButton* b : {form->BitBtn1, form->BitBtn2, form->BitBtn3}) b->setEnabled(true);
    form->CurrentReportGrid = form->StringGrid4;
  };
  const auto reportsCleared = [&] {
    for (TStringGrid* g : form->reportGrids()) {
      SCOPED_TRACE(g->objectName().toStdString());
      EXPECT_FALSE(g->isEnabled());
      EXPECT_EQ(g->rowCount(), 1);
      EXPECT_EQ(g->cell(1, 0), "");
      EXPECT_EQ(g->columnWidth(1), g == form->StringGrid3 ? 179 : 127);
    }
    EXPECT_EQ(form->CurrentReportGrid, nullptr);
  };

  fill();
  form->ClearBrowse(false, true);
  EXPECT_TRUE(form->StringGrid1->isEnabled()) << "the object list is left alone";
  EXPECT_EQ(form->StringGrid1->rowCount(), 2);
  EXPECT_EQ(form->StringGrid1->cell(0, 1), "obj2");
  EXPECT_TRUE(form->BitBtn2->isEnabled());
  EXPECT_FALSE(form->StringGrid2->isEnabled());
  EXPECT_EQ(form->StringGrid2->cell(0, 0), "");
  EXPECT_EQ(form->Panel3->text(), "");
  EXPECT_EQ(form->pn1->text(), "");
  EXPECT_EQ(form->pn4->text(), "");
  EXPECT_EQ(form->Panel6->text(), "");
  EXPECT_EQ(form->Label19->text(), "");
  EXPECT_FALSE(form->BitBtn1->isEnabled());
  EXPECT_FALSE(form->BitBtn3->isEnabled());
  reportsCleared();

  fill();
  form->ClearBrowse(false, false);
  EXPECT_EQ(form->StringGrid2->cell(0, 0), "v0017n1") << "only the report lists";
  EXPECT_EQ(form->pn1->text(), "x");
  reportsCleared();

  fill();
  form->ClearBrowse(true, true);
  EXPECT_FALSE(form->StringGrid1->isEnabled());
  EXPECT_EQ(form->StringGrid1->rowCount(), 1);
  EXPECT_EQ(form->StringGrid1->cell(0, 0), "");
  EXPECT_FALSE(form->BitBtn2->isEnabled());
  reportsCleared();
}

TEST_F(MainWindowTest, EnableFilledGridsFollowsTheFirstCell) {
  make();
  form->ClearBrowse(true, true);
  form->StringGrid2->setCell(0, 0, "v0017n1");
  form->StringGrid4->setCell(1, 0, "05.03.09");
  form->StringGrid6->setCell(0, 0, "*");  // a marker alone does not count
  form->EnableFilledGrids();
  EXPECT_TRUE(form->StringGrid1->isEnabled()) << "always";
  EXPECT_TRUE(form->StringGrid2->isEnabled());
  EXPECT_FALSE(form->StringGrid3->isEnabled());
  EXPECT_TRUE(form->StringGrid4->isEnabled());
  EXPECT_FALSE(form->StringGrid5->isEnabled());
  EXPECT_FALSE(form->StringGrid6->isEnabled());
  EXPECT_FALSE(form->StringGrid7->isEnabled());
  form->StringGrid2->setCell(0, 0, "");
  form->EnableFilledGrids();
  EXPECT_FALSE(form->StringGrid2->isEnabled());
}

TEST_F(MainWindowTest, AboutBoxShowsNameVersionYearAndCloses) {
  make();
  std::vector<std::string> seen;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<TFormAbout*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr);
    seen = {about->windowTitle().toStdString(), about->Label1->text().toStdString(),
            about->Label3->text().toStdString(), about->Label4->text().toStdString(),
            about->BitBtn1->text().toStdString()};
    QTest::mouseClick(about->BitBtn1, Qt::LeftButton);
  });
  form->N2Click();
  EXPECT_EQ(seen, (std::vector<std::string>{"О программе", "ostraftp", "Версия " OSTRAFTP_VERSION, "2026",
                                            "Закрыть"}));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// A control whose event handler fails.
class Failing : public QWidget {
 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) throw std::runtime_error("'abc' is not a valid floating point value");
    return QWidget::event(e);
  }
};

TEST_F(MainWindowTest, ErrorsReachingTheEventLoopShowTheErrorBoxAndTheProgramGoesOn) {
  auto* app = static_cast<Application*>(QApplication::instance());
  app->setUi(&ui);
  Failing w;
  QEvent e(QEvent::User);
  EXPECT_FALSE(QApplication::sendEvent(&w, &e));
  app->setUi(nullptr);
  EXPECT_EQ(ui.messages,
            (std::vector<RecorderUi::Message>{{"error", "'abc' is not a valid floating point value", ""}}));
  QEvent again(QEvent::Show);
  EXPECT_NO_THROW(QApplication::sendEvent(&w, &again));
}

TEST_F(MainWindowTest, BoxesShowUnderTheNormalCursorAlsoInsideNestedHourglasses) {
  QtUi qt;
  const std::function<void()> boxes[] = {[&] { qt.message("m", "t"); },
                                         [&] { (void)qt.ask("q", "t", Ui::Answer::Yes); },
                                         [&] { qt.errorBox("e"); }};
  for (const auto& box : boxes) {
    qt.beginWait();
    qt.beginWait();  // an object click inside the connection choice
    Qt::CursorShape shown = Qt::BlankCursor;
    onModal<QMessageBox>([&](QMessageBox* b) {
      shown = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::BlankCursor;
      b->buttons().front()->click();
    });
    box();
    EXPECT_EQ(shown, Qt::ArrowCursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor)
        << "the work goes on under the hourglass";
    qt.endWait();
    qt.endWait();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

// Enter gives a question's preset answer (a changed server key is refused on Enter).
TEST_F(MainWindowTest, EnterGivesTheQuestionsPresetAnswer) {
  QtUi qt;
  for (const auto preset : {Ui::Answer::Yes, Ui::Answer::No}) {
    onModal<QMessageBox>([](QMessageBox* b) { QTest::keyClick(b, Qt::Key_Return); });
    EXPECT_EQ(qt.ask("q", "t", preset), preset == Ui::Answer::Yes);
  }
}

TEST_F(MainWindowTest, OwnTextsAreHeldByWindows1251) {
  for (const char* t : {"Неудачная попытка выхода в интернет", "Не выполнено соединение по IP-адресу",
                        "Неизвестная ошибка"}) {
    EXPECT_TRUE(cp1251::canHold(t)) << t;
    EXPECT_EQ(cp1251::toUtf8(cp1251::text(t)), t);
  }
}

}  // namespace
