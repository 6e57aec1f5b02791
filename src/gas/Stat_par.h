#pragma once
// The gas-parameter entry: four values checked against their ranges, composed into the checksum-protected
// file and stored in the object's directory (on the server or in the local folder), never leaving a
// half-written file behind.

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;
class TFormMain;

class TFormStat_Par : public QDialog {
  Q_OBJECT
 public:
  explicit TFormStat_Par(TFormMain& main);

  bool ParametersWritten = false;  // set only after a successful store

  QLineEdit* Edit1;      // density
  QLineEdit* Edit2;      // molar fraction of CO2
  QLineEdit* Edit3;      // molar fraction of N2
  QLineEdit* Edit4;      // atmospheric pressure
  QPushButton* BitBtn1;  // "Записать"
  QPushButton* BitBtn2;  // "Отменить"

  void FormCreate();
  void FormShow();
  void BitBtn1Click();
  void BitBtn2Click();

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  // The stores: "" when stored, else the message that tells the operator why not.
  [[nodiscard]] std::string storeOnServer(const std::string& content);
  [[nodiscard]] std::string storeLocally(const std::string& content);

  TFormMain& main_;
  bool shown_ = false;
};
