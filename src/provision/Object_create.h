#pragma once
// The object-creation dialog: a saved connection (or a new one), an object name and up to eight flow
// computers; "Создать" makes every missing directory of the object's tree on that server.

#include <QDialog>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TFormMain;

struct ComputerEntry {
  uint8_t address = 0;
  uint8_t group = 0;
  uint8_t lines = 0;
};

class TFormObject_Create : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kColumns = 8;
  static constexpr uint8_t kNoConnection = 255;
  static constexpr const char* kInputError = "Ошибка ввода параметров";  // the title of every refusal

  explicit TFormObject_Create(TFormMain& main);

  uint8_t SelectedConnection = 0;
  uint8_t InitialConnection = kNoConnection;
  std::array<int, 10> ConnectionItem{};  // per record, its ComboBox1 item (-1 = not offered)
  int ObjectRowCount = 0;                // existing objects offered; index of "Новый объект"
  std::string TargetObjectName;
  uint8_t ComputerCount = 0;
  std::array<ComputerEntry, kColumns> Computers{};
  bool Created = false;
  std::string CreatedObjectName;

  QComboBox* ComboBox1;  // the saved connections of access mode "Каталог списка объектов"
  QPushButton* BitBtn3;                  // "Новое FTP-соединение"
  QComboBox* ComboBox3;                  // existing objects, then "Новый объект"
  QLineEdit* Edit1;                      // a new object's name: Latin letters and digits, at most 49
  QComboBox* ComboBox2;                  // number of flow computers, "1".."8"
  QGroupBox* GroupBox6;                  // " Вычислители "
  std::array<QLabel*, kColumns> n{};     // column headings " №1 ".." №8 "
  std::array<QComboBox*, kColumns> g{};  // address groups "0".."7"
  std::array<QComboBox*, kColumns> a{};  // addresses, typed or "1".."254"
  std::array<QComboBox*, kColumns> r{};  // number of lines "1".."3"
  QPushButton* BitBtn1;                  // "Создать"
  QPushButton* BitBtn2;                  // "Отменить"

  void FormCreate();
  void FormShow();
  void FormClose();
  void ComboBox1Click();
  void ComboBox3Click();
  void ComboBox2Click();
  void BitBtn3Click();
  void adrClick(int column);
  void adrExit(int column);
  void grClick(int column);
  void runClick(int column);
  void BitBtn1Click();
  void BitBtn2Click();

  // Makes sure directory name exists in parent; when it cannot, keeps the message for the operator
  // (shown once the dialog is enabled again). Within one run of "Создать" a parent is listed once, and a
  // directory this run made is known to be empty.
  [[nodiscard]] bool EnsureServerDirectory(const std::string& parent, const std::string& name);

 protected:
  void showEvent(QShowEvent* e) override;
  void done(int result) override;

 private:
  void build();
  // The address box's number; nothing (after the standard error box) when it holds no number.
  [[nodiscard]] bool readAddress(int column, int& value);
  // The tree on the server; false with the failure kept in failure_ (FtpOpen tells its own).
  [[nodiscard]] bool createTree();
  void refuse(const char* text);
  void refuse(const std::string& text);  // Windows-1251
  bool fail(std::string text, std::string title = {});

  TFormMain& main_;
  std::map<std::string, std::set<std::string>> known_;  // parent -> its directories, this run
  bool entered_ = false;                                // CurrentDirectory is the server's directory now
  bool shown_ = false;
  struct Failure {
    std::string text, title;
  };
  std::optional<Failure> failure_;  // what "Создать" tells once the dialog is enabled again
};
