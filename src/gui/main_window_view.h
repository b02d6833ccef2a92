// The window core's view in Qt: the main window's controls, by the core's names,
// changed as the core says.
#pragma once

#include <map>

#include "window/window_view.h"

class PortComboBox;
class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// The controls the core changes; the main window makes them.
struct MainWindowControls {
  QLabel* userText1 = nullptr;
  QLabel* userText2 = nullptr;
  QLabel* lblConnect = nullptr;
  QLabel* commLabel = nullptr;
  PortComboBox* cbCommPort = nullptr;
  QLabel* statusText = nullptr;
  QLabel* unfinishedLine = nullptr;
  QProgressBar* statusBar = nullptr;
  QLabel* newSN = nullptr;
  QLineEdit* newSNstr = nullptr;
  QPushButton* btnStart = nullptr;
  QPushButton* btnClose = nullptr;
  std::map<MenuId, QAction*> menuItems;  // every row of the menu table but the menus themselves
};

class QtWindowView : public WindowView {
 public:
  QtWindowView(QWidget& window, const MainWindowControls& controls) : window_(window), controls_(controls) {}

  void setText(Control control, const std::string& text) override;
  std::string text(Control control) const override;
  void setVisible(Control control, bool shown) override;
  void setEnabled(Control control, bool on) override;
  void setFocus(Control control) override;
  void setDefaultButton(Control button) override;
  void setPorts(const std::vector<std::string>& labels, int selected) override;
  void setProgress(int position, const std::string& text) override;
  void setMenuItem(MenuId id, const MenuState& state) override;
  void setMenuCaption(MenuId id, const std::string& caption) override;
  void setTitles(const std::string& window, const std::string& application) override;
  void beep(int kind) override;
  void setBusyCursor(bool busy) override;
  void closeWindow() override;

 private:
  QWidget* Widget(Control control) const;
  QAction* Item(MenuId id) const;

  QWidget& window_;
  const MainWindowControls& controls_;
};
