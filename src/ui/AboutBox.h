#pragma once

#include <QDialog>

class QLabel;
class QFrame;
class QPushButton;
class QTextEdit;

// The about box: names the tool and its version and shows the maker's notice.
// Created hidden at start-up and shown modally any number of times; closing
// it only hides it.
class Taboutbox : public QDialog {
  Q_OBJECT

 public:
  explicit Taboutbox(QWidget* parent = nullptr);

  // Switches the notice's word wrap on and shows the box modally.
  void ShowModal();

  QFrame* Panel1;
  QFrame* Panel2;
  QLabel* Image3;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Image1;
  QTextEdit* RichEdit1;
  QPushButton* Button1;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Button1Click();
};
