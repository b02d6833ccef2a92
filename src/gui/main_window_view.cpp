#include "gui/main_window_view.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "gui/port_combo_box.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QWidget* QtWindowView::Widget(Control control) const {
  const MainWindowControls& c = controls_;
  switch (control) {
    case Control::userText1: return c.userText1;
    case Control::userText2: return c.userText2;
    case Control::lblConnect: return c.lblConnect;
    case Control::commLabel: return c.commLabel;
    case Control::cbCommPort: return c.cbCommPort;
    case Control::statusText: return c.statusText;
    case Control::unfinishedLine: return c.unfinishedLine;
    case Control::statusBar: return c.statusBar;
    case Control::newSN: return c.newSN;
    case Control::newSNstr: return c.newSNstr;
    case Control::btnStart: return c.btnStart;
    case Control::btnClose: return c.btnClose;
  }
  return nullptr;
}

QAction* QtWindowView::Item(MenuId id) const {
  const auto found = controls_.menuItems.find(id);
  return found == controls_.menuItems.end() ? nullptr : found->second;
}

void QtWindowView::setText(Control control, const std::string& text) {
  QWidget* widget = Widget(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(Q(text));
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(Q(text));
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(Q(text));
  }
}

std::string QtWindowView::text(Control control) const {
  const QWidget* widget = Widget(control);
  if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text().toStdString();
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text().toStdString();
  return {};
}

void QtWindowView::setVisible(Control control, bool shown) { Widget(control)->setVisible(shown); }

void QtWindowView::setEnabled(Control control, bool on) { Widget(control)->setEnabled(on); }

void QtWindowView::setFocus(Control control) { Widget(control)->setFocus(); }

void QtWindowView::setDefaultButton(Control button) {
  controls_.btnStart->setDefault(button == Control::btnStart);
  controls_.btnClose->setDefault(button == Control::btnClose);
}

void QtWindowView::setPorts(const std::vector<std::string>& labels, int selected) {
  controls_.cbCommPort->clear();
  for (const std::string& label : labels) controls_.cbCommPort->addItem(Q(label));
  controls_.cbCommPort->setCurrentIndex(selected);
}

void QtWindowView::setProgress(int position, const std::string& text) {
  controls_.statusBar->setValue(position);
  controls_.statusBar->setFormat(Q(text));
}

void QtWindowView::setMenuItem(MenuId id, const MenuState& state) {
  QAction* item = Item(id);
  if (item == nullptr) return;
  item->setEnabled(state.enabled);
  item->setVisible(state.visible);
  if (item->isCheckable()) item->setChecked(state.checked);
}

void QtWindowView::setMenuCaption(MenuId id, const std::string& caption) {
  if (QAction* item = Item(id)) item->setText(Q(caption));
}

void QtWindowView::setTitles(const std::string& window, const std::string& application) {
  window_.setWindowTitle(Q(window));
  QCoreApplication::setApplicationName(Q(application));
}

void QtWindowView::beep(int) { QApplication::beep(); }

void QtWindowView::setBusyCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void QtWindowView::closeWindow() { window_.close(); }
