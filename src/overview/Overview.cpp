#include "overview/Overview.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <tuple>

#include "app/Main.h"
#include "core/Cp1251.h"
#include "view/Report_prn.h"

using overview::Column;

namespace {

QString text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

overview::OverviewFile::Key keyOf(const ConnectionRecord& r, const std::string& object) {
  return {r.host(), static_cast<unsigned>(r.port()) & 0xFFFFu, r.user(), object};
}

}  // namespace

TFormOverview::TFormOverview(TFormMain& main)
    : QWidget(&main, Qt::Window), main_(main), clock_(systemClock()) {
  setObjectName(QStringLiteral("FormOverview"));
  setWindowTitle(text("Обзор станций"));
  // Wide enough for every column on most screens; the table scrolls on smaller ones.
  if (const QScreen* screen = main.screen()) {
    const QRect room = screen->availableGeometry();
    resize(std::min(1500, room.width() * 9 / 10), std::min(700, room.height() * 8 / 10));
  }
  auto* top = new QHBoxLayout;
  CheckButton = new QPushButton(text("Проверить"), this);
  StopButton = new QPushButton(text("Остановить"), this);
  PrintButton = new QPushButton(text("Печать"), this);
  CloseButton = new QPushButton(text("Закрыть"), this);
  StaleHours = new QSpinBox(this);
  StaleHours->setRange(overview::OverviewFile::kMinStaleHours, overview::OverviewFile::kMaxStaleHours);
  StaleHours->setSuffix(text(" ч"));
  auto* staleLabel = new QLabel(text("Отчеты старше:"), this);
  staleLabel->setBuddy(StaleHours);
  ProgressLabel = new QLabel(this);
  Progress = new QProgressBar(this);
  Progress->setTextVisible(false);
  Progress->setMaximumWidth(200);
  top->addWidget(CheckButton);
  top->addWidget(StopButton);
  top->addWidget(PrintButton);
  top->addSpacing(20);
  top->addWidget(staleLabel);
  top->addWidget(StaleHours);
  top->addSpacing(20);
  top->addWidget(ProgressLabel);
  top->addWidget(Progress);
  top->addStretch();
  top->addWidget(CloseButton);
  Grid = new QTableWidget(0, overview::kColumns, this);
  QStringList titles;
  for (int c = 0; c < overview::kColumns; ++c) titles << toQ(overview::columnTitle(static_cast<Column>(c)));
  Grid->setHorizontalHeaderLabels(titles);
  Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  Grid->setSelectionMode(QAbstractItemView::SingleSelection);
  Grid->setWordWrap(false);
  Grid->verticalHeader()->setVisible(false);
  Grid->setAccessibleName(text("Станции"));
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(Grid);
  Grid->setObjectName(QStringLiteral("Grid"));
  ProgressLabel->setObjectName(QStringLiteral("ProgressLabel"));
  Progress->setObjectName(QStringLiteral("Progress"));
  StaleHours->setObjectName(QStringLiteral("StaleHours"));
  CheckButton->setObjectName(QStringLiteral("CheckButton"));
  StopButton->setObjectName(QStringLiteral("StopButton"));
  PrintButton->setObjectName(QStringLiteral("PrintButton"));
  CloseButton->setObjectName(QStringLiteral("CloseButton"));

  memory_.load(main_.DataFolder + "INI" + fsys::kSeparator + "overview.ini");
  StaleHours->setValue(memory_.staleHours());
  connect(CheckButton, &QPushButton::clicked, this, &TFormOverview::CheckClick);
  connect(StopButton, &QPushButton::clicked, this, &TFormOverview::StopClick);
  connect(PrintButton, &QPushButton::clicked, this, &TFormOverview::PrintClick);
  connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
  connect(Grid, &QTableWidget::cellActivated, this, [this](int row, int) { RowChosen(row); });
  connect(StaleHours, &QSpinBox::valueChanged, this, [this](int hours) {
    memory_.setStaleHours(hours);
    (void)memory_.save();  // the threshold holds for this run even when the file cannot be written
    for (size_t s = 0; s < stations_.size(); ++s) showStation(s);
  });
  StopButton->setEnabled(false);
  drainTimer_ = new QTimer(this);
  drainTimer_->setInterval(50);
  connect(drainTimer_, &QTimer::timeout, this, &TFormOverview::drain);
}

TFormOverview::~TFormOverview() {
  checker_.reset();  // every checking thread ends before the window's rows go
}

void TFormOverview::CheckClick() {
  checker_.reset();
  stopped_ = false;
  baseline_ = memory_;
  stations_.clear();
  Grid->setRowCount(0);
  const SettingsFile& settings = main_.Settings;
  for (int i = 0; i < settings.connectionCount(); ++i) {
    const ConnectionRecord r = settings.record(i);
    stations_.push_back({r.name(), r, std::vector<overview::ObjectRow>(1), {false}});
  }
  for (size_t s = 0; s < stations_.size(); ++s) showStation(s);
  overview::CheckSetup setup;
  setup.dataFolder = main_.DataFolder;
  setup.timeouts = timeouts_;
  setup.transcript = transcript_;
  // Rows come from the checking threads into the inbox; this window's thread takes them out (drain).
  inbox_ = std::make_shared<Inbox>();
  auto sink = [inbox = inbox_](overview::RowUpdate u) {
    const std::lock_guard<std::mutex> lock(inbox->lock);
    inbox->rows.push_back(std::move(u));
  };
  if (stations_.empty()) {
    ended(overview::Progress::Done);
    return;
  }
  checker_ = std::make_unique<overview::Checker>(settings, main_.Tls, setup, sink);
  drainTimer_->start();
  CheckButton->setEnabled(false);
  StopButton->setEnabled(true);
  showProgress();
}

void TFormOverview::StopClick() {
  if (!checker_) return;
  checker_.reset();
  drain();  // what came before the stop
  ended(overview::Progress::Stopped);
}

void TFormOverview::drain() {
  if (!inbox_) return;
  const bool finished = checker_ && checker_->finished();  // before the rows: none comes after
  std::vector<overview::RowUpdate> rows;
  {
    const std::lock_guard<std::mutex> lock(inbox_->lock);
    rows.swap(inbox_->rows);
  }
  std::vector<bool> changed(stations_.size());
  for (const auto& u : rows) {
    if (received(u)) changed[static_cast<size_t>(u.station)] = true;
  }
  for (size_t s = 0; s < changed.size(); ++s) {
    if (changed[s]) showStation(s);
  }
  if (!rows.empty()) {
    showProgress();
    Grid->resizeColumnsToContents();  // the names and times readable while the rest comes
  }
  if (finished) {
    checker_.reset();
    ended(overview::Progress::Done);
  }
}

bool TFormOverview::received(const overview::RowUpdate& u) {
  if (u.station < 0 || static_cast<size_t>(u.station) >= stations_.size() || u.index < 0 ||
      u.index >= u.count)
    return false;
  Station& st = stations_[static_cast<size_t>(u.station)];
  if (st.rows.size() != static_cast<size_t>(u.count)) {
    st.rows.assign(static_cast<size_t>(u.count), {});
    st.done.assign(static_cast<size_t>(u.count), false);
  }
  st.rows[static_cast<size_t>(u.index)] = u.row;
  st.done[static_cast<size_t>(u.index)] = u.done;
  return true;
}

overview::Marks TFormOverview::marksOf(const Station& st, const overview::ObjectRow& row) const {
  return overview::marksOf(row, memory_.staleHours(), clock_(), baseline_.seen(keyOf(st.record, row.object)));
}

overview::Progress TFormOverview::progressOf(const Station& st, size_t i) const {
  if (st.done[i]) return overview::Progress::Done;
  return stopped_ ? overview::Progress::Stopped : overview::Progress::Checking;
}

int TFormOverview::firstRowOf(size_t s) const {
  int row = 0;
  for (size_t i = 0; i < s; ++i) row += static_cast<int>(stations_[i].rows.size());
  return row;
}

void TFormOverview::showStation(size_t s) {
  const Station& st = stations_[s];
  const int first = firstRowOf(s);
  // The rows the station had in the table: up to the next station's first row.
  int had = 0;
  for (int r = first; r < Grid->rowCount(); ++r, ++had) {
    const QTableWidgetItem* item = Grid->item(r, 0);
    if (!item || item->data(Qt::UserRole).toInt() != static_cast<int>(s)) break;
  }
  const int want = static_cast<int>(st.rows.size());
  for (; had < want; ++had) Grid->insertRow(first + had);
  for (; had > want; --had) Grid->removeRow(first + had - 1);
  const std::time_t now = clock_();
  for (int i = 0; i < want; ++i) {
    const auto& row = st.rows[static_cast<size_t>(i)];
    const overview::Marks marks = marksOf(st, row);
    const overview::ShownRow shown =
        overview::showRow(st.name, row, progressOf(st, static_cast<size_t>(i)), marks, now);
    QColor background;
    if (shown.marks.newAlarm)
      background = QColor(255, 190, 190);
    else if (shown.marks.stale)
      background = QColor(255, 220, 160);
    else if (shown.failed)
      background = QColor(225, 225, 225);
    for (int c = 0; c < overview::kColumns; ++c) {
      auto* item = new QTableWidgetItem(toQ(shown.cells[static_cast<size_t>(c)]));
      item->setData(Qt::UserRole, static_cast<int>(s));
      item->setData(Qt::UserRole + 1, i);
      if (background.isValid()) item->setBackground(background);
      Grid->setItem(first + i, c, item);
    }
    Grid->resizeRowToContents(first + i);
  }
}

void TFormOverview::showProgress() {
  int expected = 0, done = 0;
  for (const Station& st : stations_) {
    expected += static_cast<int>(st.rows.size());
    done += static_cast<int>(std::count(st.done.begin(), st.done.end(), true));
  }
  ProgressLabel->setText(text("Проверено объектов: %1 из %2").arg(done).arg(expected));
  Progress->setMaximum(std::max(expected, 1));
  Progress->setValue(done);
}

void TFormOverview::ended(overview::Progress how) {
  drainTimer_->stop();
  inbox_.reset();
  stopped_ = how == overview::Progress::Stopped;
  CheckButton->setEnabled(true);
  StopButton->setEnabled(false);
  for (size_t s = 0; s < stations_.size(); ++s) showStation(s);
  showProgress();
  Grid->resizeColumnsToContents();
  remember();
}

// The alarm times the finished rows showed are the ones the next overview compares with.
void TFormOverview::remember() {
  bool changed = false;
  for (const Station& st : stations_) {
    for (size_t i = 0; i < st.rows.size(); ++i) {
      if (!st.done[i] || !st.rows[i].alarm || st.rows[i].object.empty()) continue;
      memory_.setSeen(keyOf(st.record, st.rows[i].object), *st.rows[i].alarm);
      changed = true;
    }
  }
  if (changed) (void)memory_.save();  // not remembered is only a missed mark next time
}

std::string TFormOverview::PrintedText() const {
  std::vector<overview::ShownRow> rows;
  const std::time_t now = clock_();
  for (const Station& st : stations_) {
    for (size_t i = 0; i < st.rows.size(); ++i)
      rows.push_back(overview::showRow(st.name, st.rows[i], progressOf(st, i), marksOf(st, st.rows[i]), now));
  }
  return overview::printedOverview(rows, memory_.staleHours(), now);
}

void TFormOverview::PrintClick() {
  const std::string printed = PrintedText();
  printText(this, printed);
}

void TFormOverview::RowChosen(int row) {
  const QTableWidgetItem* item = Grid->item(row, 0);
  if (!item) return;
  const size_t s = static_cast<size_t>(item->data(Qt::UserRole).toInt());
  const size_t i = static_cast<size_t>(item->data(Qt::UserRole + 1).toInt());
  if (s >= stations_.size() || i >= stations_[s].rows.size()) return;
  const int record = static_cast<int>(s);
  // The rows name the connections as they were when the check began.
  const auto connectsAs = [](const ConnectionRecord& r) {
    return std::make_tuple(r.name(), r.host(), r.port(), r.user(), r.password(), r.accessMode());
  };
  if (record >= main_.Settings.connectionCount() ||
      connectsAs(main_.Settings.record(record)) != connectsAs(stations_[s].record)) {
    main_.ui.message(cp1251::text("Соединение изменено после проверки: проверьте станции еще раз"));
    return;
  }
  const std::string object = stations_[s].rows[i].object;
  // The main window's handler runs from its own event, not under this window's.
  QTimer::singleShot(0, &main_, [m = &main_, record, object] { m->OpenStation(record, object); });
}

void TFormOverview::closeEvent(QCloseEvent* e) {
  StopClick();
  e->accept();
}
