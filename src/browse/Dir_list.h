#pragma once
// The local directory dialog: a folder with the list of objects, chosen from a drive and a directory
// tree, or typed in.

#include <QDialog>

#include <string>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class SettingsFile;
struct BrowseState;
class Ui;

class TFormDir_List : public QDialog {
  Q_OBJECT
 public:
  TFormDir_List(SettingsFile& settings, BrowseState& browse, std::string dataFolder, Ui& ui,
                QWidget* parent = nullptr);

  bool Accepted = false;

  QComboBox* DriveComboBox1;       // drives / mounted volumes
  QListWidget* DirectoryListBox1;  // the path to the current directory and its subdirectories
  QLabel* Label1;                  // the tree's current directory
  QPushButton* BitBtn1;            // "Принять" under the tree
  QLineEdit* Edit1;                // a directory typed by hand
  QPushButton* BitBtn3;            // "Принять" beside the edit
  QPushButton* BitBtn2;            // "Выход"
  QLabel* Label2;                  // the note about what the directory must hold

  // The tree's current directory (Windows-1251).
  const std::string& currentDirectory() const { return current_; }
  // Opens the tree on a directory: its drive is chosen and its subdirectories are listed.
  void openDirectory(const std::string& cp1251Dir);

  void FormShow();
  void DriveComboBox1Change();
  void DirectoryListBox1DblClick(int row);
  void BitBtn1Click();
  void BitBtn3Click();
  void BitBtn2Click();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  // Checks a directory for storing; shows why it cannot be stored.
  bool storable(const std::string& dir);
  void fillTree();

  SettingsFile& settings_;
  BrowseState& browse_;
  const std::string dataFolder_;
  Ui& ui_;
  std::string current_;
  bool shown_ = false;
};
