#pragma once
// The main window: from start-up to shutdown it owns the settings image, the FTP session and the browse
// state, and shows the object, computer and report lists, the alarm line and the gas parameters. Its
// handlers are defined in the folders of their subsystems; this header declares them all.

#include <QAction>
#include <QGroupBox>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <string>
#include <vector>

#include "app/Widgets.h"
#include "core/BrowseState.h"
#include "core/Formats.h"
#include "core/ReportKind.h"
#include "core/Ui.h"
#include "net/Ftp_fun.h"
#include "settings/SettingsFile.h"
#include "settings/TlsFile.h"

class TFormOverview;

class TFormMain : public QMainWindow {
  Q_OBJECT
 public:
  // dataFolder: the folder that holds REPORT and INI (see dataFolder()), as Windows-1251 bytes ending with
  // a separator: the executable's own folder, or the user's data folder for a system install. All
  // messages go through ui.
  TFormMain(std::string dataFolder, Ui& ui, QWidget* parent = nullptr);
  ~TFormMain() override;
  // Runs while a server is awaited or a retry pauses: the window repaints and answers the window manager
  // but takes no input; a window closed meanwhile ends the handler that waits (WindowClosing), then
  // closes from the event loop.
  void AwaitingServer();

  // --- Process-wide state owned by the window.
  Ui& ui;
  const std::string DataFolder;  // ends with a separator
  std::string SettingsPath;      // INI/ftp_conn.ini in DataFolder
  SettingsFile Settings;
  TlsFile Tls;  // INI/ftp_tls.ini: TLS and pinned keys per connection
  BrowseState Browse;
  FtpSession Ftp;
  ftp::FindData FindBuffer;                  // shared by the server listings of the window
  TStringGrid* CurrentReportGrid = nullptr;  // the report list last clicked

  // --- Components. Client area: one panel over the whole window.
  QFrame* Panel1;            // background of the client area
  QFrame* ps1;               // the seven list columns with their headers
  TPanel* Panel4;            // header "Объект"
  TPanel* Panel9;            // header "Вычислитель, нитка"
  TPanel* Panel11;           // header "Часовой краткий"
  TPanel* Panel12;           // header "Суточный краткий"
  TPanel* Panel13;           // header "Суточный коммерческий"
  TPanel* Panel14;           // header "Месячный краткий"
  TPanel* Panel2;            // header "Месячный коммерческий"
  TStringGrid* StringGrid1;  // object names
  TStringGrid* StringGrid2;  // flow computer and line directories
  TStringGrid* StringGrid3;  // hourly short reports: marker column + date keys
  TStringGrid* StringGrid4;  // daily short reports
  TStringGrid* StringGrid5;  // daily commercial reports
  TStringGrid* StringGrid6;  // monthly short reports
  TStringGrid* StringGrid7;  // monthly commercial reports
  QLabel* Label20;           // caption of the alarm line
  TPanel* Panel3;            // time of the last write into the alarm file
  QPushButton* BitBtn3;      // "Смотреть": shows the alarm messages
  QGroupBox* GroupBox6;      // gas parameters of the current object
  TPanel* pn1;               // density, kg/m3
  TPanel* pn2;               // molar fraction of CO2, %
  TPanel* pn3;               // molar fraction of N2, %
  TPanel* pn4;               // atmospheric pressure, mm Hg
  TPanel* Panel6;            // time the parameters were entered
  QLabel* Label19;           // checksum warning line
  QPushButton* BitBtn1;      // "Изменить": enters new gas parameters
  QPushButton* BitBtn2;      // "Обновить данные": re-reads the lists
  QMenu* FileMenu;           // "Файл"
  QAction* N3;               // "Выход"
  QAction* N_ServList;       // "Выбор FTP- сервера"; its data ("Tag") holds RefreshRequest
  QAction* N_DirList;        // "Выбор каталога"
  QAction* N1;               // "Создание объекта"
  QAction* N_Overview;       // "Обзор станций"
  TFormOverview* Overview = nullptr;  // the overview window, made on first use
  QAction* N2;                        // "О программе"
  QTimer* TimerStart;                 // one-shot, 10 ms after the window is shown

  // The local folder in use (TreeDirectory, or TypedDirectory made absolute), empty when none is active.
  std::string activeLocalDirectory() const;
  // The working directory at start-up: a typed relative folder is taken from there, not from the object
  // folder that browsing last made current.
  std::string StartDirectory;
  std::string TypedRoot;  // TypedDirectory made absolute when it was accepted

  // The five report lists in kind order.
  std::array<TStringGrid*, 5> reportGrids() const;

  // --- Lifecycle.
  void FormCreate();
  void FormShow();
  void FormClose();
  void TimerStartTimer();

  // --- Menu commands.
  void N3Click();
  void N2Click();
  void N_ServListClick();
  void N_DirListClick();
  void N1Click();
  // "Обзор станций": shows the overview window and has it check every station.
  void N_OverviewClick();
  // A row chosen in the overview: connects to saved connection record as the connection list's
  // "Соединиться" does, then chooses object (empty: the row the connection remembers) as a click would.
  void OpenStation(int record, const std::string& object);
  // After a connection was opened from the list: the browse state of an FTP source, nothing listed yet.
  void ServerOpened();
  // No connection open after a choice: lists and caption of no source.
  void ServerClosed();
  // Lists the objects of the open connection and chooses one (see OpenStation).
  void ListServerObjects(const std::string& object);
  // True while a handler waits for a server: a new action waits for the operator's next try.
  [[nodiscard]] bool Busy() const { return !waitingWindows_.empty(); }

  // --- Object list.
  // Lists the object directories of the source into StringGrid1: 0 = listed, 1 = the source directory
  // cannot be read, 2 = no objects.
  int ListObjects();
  // The object click: the chosen object's computers, alarm time and gas parameters.
  void StringGrid1Click();
  // Lists the object directory (CurrentDirectory) into StringGrid2, shows the alarm time and has the
  // gas parameters read: 0 = computers listed, 1 = the server or the directory could not be reached,
  // 2 = nothing listed.
  int ListComputers();
  // Access mode "Каталог объекта": the object's name from the report file names. 0 = finished (found or
  // not), 1 = found but the object directory could not be entered or listed, 2 = the connection failed.
  int FindObjectName();
  // Asks ahead for the times of the alarm and gas-parameter files, which the window shows to the second.
  void timesAhead(std::vector<FtpSession::Ahead>& ahead) const;
  // The line an object click chooses (its row in StringGrid2).
  int LineToChoose() const;
  // Has the five kind folders of a line of the current object fetched ahead.
  void FetchLineAhead(const std::string& computerDir);
  // "Обновить данные": rebuilds the lists and keeps the current choice.
  void BitBtn2Click();
  // The line click: the report lists of the line in the current row of StringGrid2.
  void StringGrid2Click();
  // One kind folder of the line into its list; false on a connection failure.
  bool ListReportsFtp(ReportKind kind);
  void ListReportsLocal(ReportKind kind);
  std::array<int32_t, 5> EntryCount{};
  struct Listed {  // one file of a kind folder
    std::string name;
    uint32_t size;
  };
  void addEntries(ReportKind kind, std::vector<Listed>& files);  // entries per report list while it is built
  std::string SavedObjectName;                                   // the choice at the start of a refresh
  std::string SavedComputerDir;

  // --- Reports: a click on a date fetches the report and shows it in the viewer.
  // FetchTooLarge: the file is larger than the download limit; it is refused at once, not tried again.
  enum class ReportFetchResult {
    FetchDone,
    FetchNoDirectory,
    FetchConnectionLost,
    FetchReadFailed,
    FetchTooLarge
  };
  // The message for a report or alarm file larger than the download limit.
  static std::string TooLargeMessage(const std::string& fileName);
  void StringGrid3Click() { ReportListClick(ReportKind::Hourly); }
  void StringGrid4Click() { ReportListClick(ReportKind::DailyShort); }
  void StringGrid5Click() { ReportListClick(ReportKind::DailyCommercial); }
  void StringGrid6Click() { ReportListClick(ReportKind::MonthlyShort); }
  void StringGrid7Click() { ReportListClick(ReportKind::MonthlyCommercial); }
  // The click procedure of the report list of a kind.
  void ReportListClick(ReportKind kind);
  // FTP: enters the report folder, downloads the file, keeps the cache copy, shows the viewer.
  [[nodiscard]] ReportFetchResult FetchReport(const std::string& fileName, ReportKind kind, bool lastRow);
  // Local folder: reads the file of the local tree and shows the viewer; reports its own failures.
  void OpenLocalReport(const std::string& fileName, ReportKind kind);
  // The kind folder of the chosen line in the local tree.
  std::string LocalKindFolder(ReportKind kind) const;
  // The cache folder of the chosen object, or of a kind folder of its line, made one level at a time
  // where missing; a level that cannot be made is passed over (the write into it then fails quietly).
  std::string ReportCacheFolder();
  std::string ReportCacheFolder(ReportKind kind);
  // The viewer on a text, modal; the text stays ours.
  void ShowReport(const std::string& fileName, const std::string& text, ReportKind kind);

  // --- Alarm messages: "Смотреть" fetches the object's alarm file and shows it.
  void BitBtn3Click();

  // --- Gas parameters.
  // "Изменить": new values entered, written and read back.
  void BitBtn1Click();
  // Reads the chosen object's gas-parameter file, verifies its checksum and shows the values, the time of
  // input, or in Label19 why not.
  void ReadGasParameters();

  // --- Operations every browsing step uses.
  void ClearBrowse(bool clearObjects, bool clearComputers);
  void EnableFilledGrids();
  // After an error that ends a handler (an exception on its way to the event loop): the window, the
  // panel and the filled lists enabled again, no list filling or refresh left under way.
  void LeaveUsable();

  // The next "Выбор FTP- сервера" skips the dialog and only rebuilds the object list.
  bool RefreshRequest() const;
  void setRefreshRequest(bool on);

  // Caption as Windows-1251 bytes.
  void setCaption(const std::string& cp1251);

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  // While a server is awaited: a window closed meanwhile (this one or a dialog) is noted instead.
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  bool enterCurrentDirectory();
  void buildLayout();
  void buildMenu();
  formats::DateTimeFormats savedFormats_;
  bool shown_ = false;
  bool closed_ = false;
  // The windows whose handlers wait for a server (innermost last): their closing is deferred.
  std::vector<QPointer<QWidget>> waitingWindows_;
  // A window closed during a wait: the wait ends the handler that waited, then the window closes.
  QPointer<QWidget> closing_;
  bool closePosted_ = false;
};
