// TfrmMain, the updater's main window in Qt: it creates the controls, lays them
// out from its fonts, builds the menus from the core's table, implements the
// core's seams with Qt and hands every event to the WindowCore, which decides.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#include "gui/main_window_view.h"
#include "gui/main_window_web.h"
#include "serial/port_enum.h"
#include "window/window_core.h"

class QLayout;
class QtWindowClock;
class QtWindowPlatform;
class TfrmWeb;
struct BuiltInImage;

struct MainWindowOptions {
  std::optional<QStringList> arguments;  // the command line, program name first; the application's when unset
  const BuiltInImage* image = nullptr;   // the image the engine starts with; the build's own when null
  WindowDialogs* dialogs = nullptr;      // boxes and file dialogs; the Qt ones when null
  std::function<PortSources()> ports;    // where ports are looked for, asked at every listing; the system's when empty
};

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmMain(MainWindowOptions options = {});
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // The feedback window whose HTTP client serves the version check and the feedback form.
  void SetWebWindow(TfrmWeb* web) { web_.SetWindow(web); }
  WindowCore& Core() { return *core_; }

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  QLayout* BuildHeader(QWidget* client);
  QWidget* BuildPanel(QWidget* client);
  QLayout* BuildButtons(QWidget* client);
  void BuildMenus();  // main_window_menus.cpp
  void ConnectControls();
  void FitToContents();
  void CentreOnScreen();

  MainWindowControls controls_;
  QtWindowView view_{*this, controls_};
  std::unique_ptr<WindowDialogs> ownDialogs_;
  std::unique_ptr<QtWindowClock> clock_;
  std::unique_ptr<QtWindowPlatform> platform_;
  QtWindowWeb web_;
  std::unique_ptr<WindowCore> core_;
  bool measureAfresh_ = true;  // the next fit forgets the size kept so far
};
