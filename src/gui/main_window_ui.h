// The main window as the person in front of an update run sees it: the status
// line, the progress bar, the instruction line and the window's boxes. Used on
// the window's thread only; a run on its own thread reaches it through WindowRunUi.
#pragma once

#include <QPointer>

#include "app/update_ui.h"
#include "gui/progress_display.h"

class QLabel;
class QProgressBar;
class QWidget;
struct MainWindowDialogs;

struct MainWindowUi : UpdateUi {
  MainWindowUi(QWidget* window, QLabel* statusText, QProgressBar* statusBar, QLabel* instruction,
               MainWindowDialogs& dialogs);
  ~MainWindowUi() override;

  void stage(const std::string& text) override;
  void hideStage() override;
  void setBar(int position) override;
  void uploadBar(int position) override;
  int bar() const override;
  void setInstruction(const std::string& text) override;
  void box(const std::string& text, const std::string& title, int kind) override;
  bool ask(const std::string& text, const std::string& title) override;
  int choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
             const std::string& none) override;
  void success() override;
  void busy(bool on) override;
  void pump() override;

 private:
  void ShowProgress();

  QPointer<QWidget> window_;
  QLabel* statusText_;
  QProgressBar* statusBar_;
  QLabel* instruction_;
  MainWindowDialogs& dialogs_;
  bool busy_ = false;
  ProgressDisplay progress_;
};
