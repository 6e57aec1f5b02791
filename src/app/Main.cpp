#include "app/Main.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include "about/About.h"
#include "app/Application.h"
#include "core/Cp1251.h"
#include "core/FileSys.h"
#include "core/ReportKind.h"
#include "overview/Overview.h"

namespace {

const QColor kBackground(211, 211, 211);
const QColor kHeader(232, 232, 232);
const QColor kValue(255, 255, 255);

constexpr int kWidth = 994;
constexpr int kHeight = 715;

// A value panel of the gas-parameter group with its name above, unit beside and range below.
TPanel* gasValue(QGroupBox* box, const char* name, int x, const QString& title, const QString& unit,
                 const QString& range) {
  const QString n = QString::fromLatin1(name);
  makeLabel(box, (n + "Title").toLatin1().constData(), QRect(x, 22, 170, 20), title);
  auto* value = new TPanel(box, name, QRect(x, 46, 100, 28), kValue);
  value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  makeLabel(box, (n + "Unit").toLatin1().constData(), QRect(x + 106, 46, 70, 28), unit);
  makeLabel(box, (n + "Range").toLatin1().constData(), QRect(x, 78, 170, 20), range);
  return value;
}

}  // namespace

TFormMain::TFormMain(std::string dataFolder, Ui& ui_, QWidget* parent)
    : QMainWindow(parent), ui(ui_), DataFolder(std::move(dataFolder)), Ftp(Settings, Browse, ui_) {
  setObjectName(QStringLiteral("FormMain"));
  setWindowTitle(QStringLiteral(" Просмотр/печать  отчетов"));
  buildLayout();
  buildMenu();
  TimerStart = new QTimer(this);
  TimerStart->setObjectName(QStringLiteral("TimerStart"));
  TimerStart->setInterval(10);
  TimerStart->setSingleShot(true);
  connect(TimerStart, &QTimer::timeout, this, &TFormMain::TimerStartTimer);
  // While a server is awaited the window repaints and answers the window manager, but takes no input.
  // A close meanwhile (of this window or of the dialog that waits) abandons the wait: the handler ends,
  // its requests abandoned, and the window closes from the event loop.
  qApp->installEventFilter(this);
  Ftp.setWaitHook([this] { AwaitingServer(); });
  FormCreate();
}

void TFormMain::AwaitingServer() {
  {
    // The window whose handler waits: the dialog in front, or this one. A dialog that something else
    // opens meanwhile closes as usual.
    QWidget* modal = QApplication::activeModalWidget();
    waitingWindows_.push_back(modal ? modal : this);
    const struct Awaiting {
      std::vector<QPointer<QWidget>>& windows;
      ~Awaiting() { windows.pop_back(); }
    } awaiting{waitingWindows_};
    // Not QEventLoop::ExcludeUserInputEvents: X11 counts the window manager's close request as input
    // and would hold it back until the wait ends; the event filter drops the operator's input instead.
    QCoreApplication::processEvents();
  }
  if (!closing_) return;
  if (!closePosted_) {
    closePosted_ = true;
    // The window is the timer's context: were it gone first, the close would not run.
    QWidget* w = closing_.data();
    QTimer::singleShot(0, w, [this, w] {
      closing_ = nullptr;
      closePosted_ = false;
      w->close();
    });
  }
  throw WindowClosing{};
}

TFormMain::~TFormMain() {
  // A window destroyed without being closed still closes its session and writes its settings.
  if (shown_ && !closed_) FormClose();
}

void TFormMain::buildLayout() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setAutoFillBackground(true);
  QPalette p = Panel1->palette();
  p.setColor(QPalette::Window, kBackground);
  Panel1->setPalette(p);
  setCentralWidget(Panel1);

  ps1 = new QFrame(Panel1);
  place(ps1, "ps1", QRect(12, 9, 958, 426));

  struct Column {
    int x, width;
  };
  const Column cols[7] = {{0, 119}, {121, 119}, {243, 182}, {428, 129}, {560, 129}, {692, 129}, {824, 129}};
  const auto header = [&](const char* name, int c, const QString& text) {
    auto* h = new TPanel(ps1, name, QRect(cols[c].x, 0, cols[c].width, 45), kHeader, text);
    h->setEnabled(false);
    return h;
  };
  Panel4 = header("Panel4", 0, QStringLiteral("Объект"));
  Panel9 = header("Panel9", 1, QStringLiteral("Вычислитель,\nнитка"));
  Panel11 = header("Panel11", 2, QStringLiteral("Часовой\nкраткий"));
  Panel12 = header("Panel12", 3, QStringLiteral("Суточный\nкраткий"));
  Panel13 = header("Panel13", 4, QStringLiteral("Суточный\nкоммерческий"));
  Panel14 = header("Panel14", 5, QStringLiteral("Месячный\nкраткий"));
  Panel2 = header("Panel2", 6, QStringLiteral("Месячный\nкоммерческий"));

  const auto grid = [&](const char* name, int c, std::vector<int> widths) {
    auto* g = new TStringGrid(ps1, name, QRect(cols[c].x, 43, cols[c].width, 380), widths);
    g->raise();  // over the lower edge of its header
    return g;
  };
  StringGrid1 = grid("StringGrid1", 0, {117});
  StringGrid2 = grid("StringGrid2", 1, {117});
  StringGrid3 = grid("StringGrid3", 2, {6, 179});
  StringGrid4 = grid("StringGrid4", 3, {8, 127});
  StringGrid5 = grid("StringGrid5", 4, {8, 127});
  StringGrid6 = grid("StringGrid6", 5, {8, 127});
  StringGrid7 = grid("StringGrid7", 6, {8, 127});
  // The report lists select one cell, not a row: a current cell parked in column 0 shows no entry.
  for (TStringGrid* g : reportGrids()) {
    g->setSelectionBehavior(QAbstractItemView::SelectItems);
    g->setKeyChoice(TStringGrid::KeyChoice::EnterKey);
  }
  connect(StringGrid1, &TStringGrid::rowChosen, this, [this](int) { StringGrid1Click(); });
  connect(StringGrid2, &TStringGrid::rowChosen, this, [this](int) { StringGrid2Click(); });
  for (const ReportKind kind : kReportKinds) {
    connect(reportGrids()[kindIndex(kind)], &TStringGrid::rowChosen, this,
            [this, kind](int) { ReportListClick(kind); });
  }

  Label20 = makeLabel(Panel1, "Label20", QRect(16, 442, 400, 26),
                      QStringLiteral("Время последней записи в файл тревожных сообщений"));
  Panel3 = new TPanel(Panel1, "Panel3", QRect(420, 442, 200, 26), kValue, QStringLiteral("Нет сообщений"));
  Panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  BitBtn3 = makeButton(Panel1, "BitBtn3", QRect(630, 441, 110, 28), QStringLiteral("Смотреть"));

  GroupBox6 = new QGroupBox(
      QStringLiteral(" Параметры газа для записи в вычислители/корректоры текущего объекта "), Panel1);
  place(GroupBox6, "GroupBox6", QRect(12, 470, 954, 134));
  pn1 = gasValue(GroupBox6, "pn1", 16, QStringLiteral("Плотность"), QStringLiteral("кг/м3"),
                 QStringLiteral("(0.66...1.05)"));
  pn2 = gasValue(GroupBox6, "pn2", 186, QStringLiteral("Молярная доля CO2"), QStringLiteral("%"),
                 QStringLiteral("(0...15)"));
  pn3 = gasValue(GroupBox6, "pn3", 356, QStringLiteral("Молярная доля N2"), QStringLiteral("%"),
                 QStringLiteral("(0...15)"));
  pn4 = gasValue(GroupBox6, "pn4", 526, QStringLiteral("Атм. давл."), QStringLiteral("мм рт.ст."),
                 QStringLiteral("(630...800)"));
  makeLabel(GroupBox6, "Panel6Title", QRect(700, 16, 150, 34), QStringLiteral("Время ввода\nпараметров"),
            Qt::AlignCenter);
  Panel6 = new TPanel(GroupBox6, "Panel6", QRect(700, 52, 150, 28), kValue);
  Panel6->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Label19 = makeLabel(GroupBox6, "Label19", QRect(16, 104, 840, 22), QString());
  QPalette warn = Label19->palette();
  warn.setColor(QPalette::WindowText, QColor(200, 0, 0));
  Label19->setPalette(warn);
  BitBtn1 = makeButton(GroupBox6, "BitBtn1", QRect(862, 50, 82, 32), QStringLiteral("Изменить"));

  BitBtn2 = makeButton(Panel1, "BitBtn2", QRect(804, 612, 162, 32), QStringLiteral("Обновить данные"));
}

void TFormMain::buildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  FileMenu = bar->addMenu(QStringLiteral("Файл"));
  FileMenu->setObjectName(QStringLiteral("FileMenu"));
  N3 = FileMenu->addAction(QStringLiteral("Выход"));
  N_ServList = bar->addAction(QStringLiteral("Выбор FTP- сервера"));
  N_DirList = bar->addAction(QStringLiteral("Выбор каталога"));
  N_Overview = bar->addAction(QStringLiteral("Обзор станций"));
  N1 = bar->addAction(QStringLiteral("Создание объекта"));
  N2 = bar->addAction(QStringLiteral("О программе"));
  N3->setObjectName(QStringLiteral("N3"));
  N_ServList->setObjectName(QStringLiteral("N_ServList"));
  N_DirList->setObjectName(QStringLiteral("N_DirList"));
  N1->setObjectName(QStringLiteral("N1"));
  N_Overview->setObjectName(QStringLiteral("N_Overview"));
  N2->setObjectName(QStringLiteral("N2"));
  N_ServList->setData(0);
  connect(BitBtn2, &QPushButton::clicked, this, &TFormMain::BitBtn2Click);
  connect(BitBtn3, &QPushButton::clicked, this, &TFormMain::BitBtn3Click);
  connect(BitBtn1, &QPushButton::clicked, this, &TFormMain::BitBtn1Click);
  connect(N3, &QAction::triggered, this, &TFormMain::N3Click);
  connect(N_ServList, &QAction::triggered, this, &TFormMain::N_ServListClick);
  connect(N_DirList, &QAction::triggered, this, &TFormMain::N_DirListClick);
  connect(N1, &QAction::triggered, this, &TFormMain::N1Click);
  connect(N_Overview, &QAction::triggered, this, &TFormMain::N_OverviewClick);
  connect(N2, &QAction::triggered, this, &TFormMain::N2Click);
}

std::array<TStringGrid*, 5> TFormMain::reportGrids() const {
  return {StringGrid3, StringGrid4, StringGrid5, StringGrid6, StringGrid7};
}

bool TFormMain::RefreshRequest() const {
  return N_ServList->data().toInt() != 0;
}
void TFormMain::setRefreshRequest(bool on) {
  N_ServList->setData(on ? 1 : 0);
}

void TFormMain::setCaption(const std::string& cp1251) {
  setWindowTitle(toQ(cp1251));
}

// --- Lifecycle.

void TFormMain::FormCreate() {
  formats::useDotDecimalSeparator();
  QLocale::setDefault(QLocale::c());
  // The folders beside the executable; a failure shows later, when they are used.
  fsys::createDirectory(DataFolder + "REPORT");
  fsys::createDirectory(DataFolder + "INI");
  SettingsPath = DataFolder + "INI" + fsys::kSeparator + "ftp_conn.ini";
  StartDirectory = fsys::currentDirectory().value_or(std::string{});
  Settings.load(SettingsPath, DataFolder);
  Tls.load(DataFolder + "INI" + fsys::kSeparator + "ftp_tls.ini");
  Ftp.setTlsFile(&Tls);
  Browse.ActiveLocalDirectory = LocalDirectory::None;
  Ftp.SessionHandle = Ftp.ConnectionHandle = Ftp.TransferHandle = kNoHandle;
}

void TFormMain::FormShow() {
  resize(kWidth, kHeight);
  if (const QScreen* s = screen()) {
    const QRect area = s->availableGeometry();
    move(area.center() - QPoint(kWidth / 2, kHeight / 2));
  }
  savedFormats_ = formats::current();
  formats::current() = {"dd.mm.yy", "hh:mm:ss"};
  ClearBrowse(true, true);
  setRefreshRequest(false);
  TimerStart->start();
}

void TFormMain::FormClose() {
  closed_ = true;
  TimerStart->stop();
  if (Overview) Overview->close();  // its checks stop with it
  Ftp.FtpClose();
  Browse.ActiveLocalDirectory = LocalDirectory::None;
  Settings.save(SettingsPath);  // a file that cannot be written is not reported
  formats::current() = savedFormats_;
}

void TFormMain::TimerStartTimer() {
  TimerStart->stop();
  if (Browse.SourceMode == Source::Ftp) {
    N_ServListClick();
  } else {
    N_DirListClick();
  }
}

void TFormMain::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (!shown_ && !e->spontaneous()) {
    shown_ = true;
    closed_ = false;
    FormShow();
  }
}

namespace {

// The mouse, the keyboard and what they trigger: a waiting window takes none of it.
bool isOperatorInput(QEvent::Type t) {
  switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool TFormMain::eventFilter(QObject* watched, QEvent* e) {
  if (waitingWindows_.empty() || !watched->isWidgetType()) return false;
  const auto waiting = [this](QWidget* w) {
    return std::find(waitingWindows_.begin(), waitingWindows_.end(), w) != waitingWindows_.end();
  };
  auto* w = static_cast<QWidget*>(watched);
  if (isOperatorInput(e->type()) && waiting(w->window())) return true;
  // Closing would end the session under the request that is waiting for it: the wait ends first (the
  // wait hook throws once this event returns), then the window closes.
  if (e->type() != QEvent::Close || !waiting(w)) return false;
  if (!closing_) closing_ = w;
  e->ignore();
  return true;
}

void TFormMain::closeEvent(QCloseEvent* e) {
  if (shown_ && !closed_) FormClose();
  e->accept();
}

// --- Menu commands.

void TFormMain::N3Click() {
  close();
}

void TFormMain::N2Click() {
  TFormAbout about(this);
  about.exec();
}

// --- Lists.

void TFormMain::ClearBrowse(bool clearObjects, bool clearComputers) {
  const auto clearGrid = [](TStringGrid* g, int column) {
    g->setEnabled(false);
    g->clearColumn(column);
    g->setRowCount(1);
    g->viewport()->update();
  };
  if (clearObjects) {
    clearGrid(StringGrid1, 0);
    BitBtn2->setEnabled(false);
  }
  if (clearComputers) {
    clearGrid(StringGrid2, 0);
    Panel3->setText(QString());
    BitBtn3->setEnabled(false);
    BitBtn1->setEnabled(false);
    for (QLabel* l : {static_cast<QLabel*>(pn1), static_cast<QLabel*>(pn2), static_cast<QLabel*>(pn3),
                      static_cast<QLabel*>(pn4), static_cast<QLabel*>(Panel6), Label19}) {
      l->setText(QString());
    }
  }
  for (TStringGrid* g : reportGrids()) {
    clearGrid(g, 1);
    g->setColumnWidth(1, g == StringGrid3 ? 179 : 127);
  }
  CurrentReportGrid = nullptr;
  update();
}

void TFormMain::LeaveUsable() {
  Browse.ListFilling = false;
  Browse.Refreshing = false;
  setEnabled(true);
  Panel1->setEnabled(true);
  EnableFilledGrids();
}

void TFormMain::EnableFilledGrids() {
  StringGrid1->setEnabled(true);
  StringGrid2->setEnabled(!StringGrid2->cell(0, 0).empty());
  for (TStringGrid* g : reportGrids()) g->setEnabled(!g->cell(1, 0).empty());
}
