#pragma once
// "Обзор станций": one row per object of every saved connection, checked all at once and filled as the
// answers come; stale reports and new alarm messages stand out. Read only: it changes nothing on the
// servers and nothing in the settings file. A row chosen (double-click or Enter) has the main window
// connect to that station and choose that object.

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/Clock.h"
#include "overview/Checker.h"
#include "overview/OverviewFile.h"
#include "overview/OverviewText.h"

class TFormMain;

class TFormOverview : public QWidget {
  Q_OBJECT
 public:
  explicit TFormOverview(TFormMain& main);
  ~TFormOverview() override;

  QTableWidget* Grid;        // the rows: objects of every saved connection
  QLabel* ProgressLabel;     // "Проверено объектов: N из M"
  QProgressBar* Progress;    // the same as a bar
  QSpinBox* StaleHours;      // rows whose newest hourly report is older stand out
  QPushButton* CheckButton;  // "Проверить": checks every station again
  QPushButton* StopButton;   // "Остановить": stops every check at once
  QPushButton* PrintButton;  // "Печать"
  QPushButton* CloseButton;  // "Закрыть"

  // "Проверить": a fresh check of every saved connection.
  void CheckClick();
  // "Остановить": every connection put down at once; the rows keep what came.
  void StopClick();
  void PrintClick();
  // Double-click or Enter on a row: the main window connects to the station and chooses the object.
  void RowChosen(int row);
  // True while a check runs.
  [[nodiscard]] bool Checking() const { return checker_ != nullptr; }
  // The text the overview prints.
  [[nodiscard]] std::string PrintedText() const;

  void setClock(Clock c) { clock_ = std::move(c); }
  void setTimeouts(const ftp::Timeouts& t) { timeouts_ = t; }
  void setTranscript(ftp::TranscriptSink sink) { transcript_ = std::move(sink); }

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  struct Station {
    std::string name;  // of the connection
    ConnectionRecord record;
    std::vector<overview::ObjectRow> rows;
    std::vector<bool> done;
  };
  // Takes the rows the checking threads have handed in, shows them; ends the check once all threads did.
  void drain();
  // One row taken into stations_; false when it names no row of them.
  bool received(const overview::RowUpdate& u);
  void showStation(size_t s);
  void showProgress();
  void ended(overview::Progress how);
  void remember();
  [[nodiscard]] int firstRowOf(size_t s) const;
  [[nodiscard]] overview::Marks marksOf(const Station& st, const overview::ObjectRow& row) const;
  [[nodiscard]] overview::Progress progressOf(const Station& st, size_t i) const;

  TFormMain& main_;
  Clock clock_;
  ftp::Timeouts timeouts_;
  ftp::TranscriptSink transcript_;
  overview::OverviewFile memory_;
  overview::OverviewFile baseline_;  // the alarm times seen before the running check
  std::vector<Station> stations_;
  std::unique_ptr<overview::Checker> checker_;
  // Where the checking threads put their rows, under its lock, until this window's thread takes them.
  struct Inbox {
    std::mutex lock;
    std::vector<overview::RowUpdate> rows;
  };
  std::shared_ptr<Inbox> inbox_;
  QTimer* drainTimer_;  // takes the rows out every 50 ms while a check runs
  bool stopped_ = false;
};
