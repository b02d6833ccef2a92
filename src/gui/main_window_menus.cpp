// The menu bar, built from the core's menu table; every item hands its id to the core.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

#include "gui/main_window.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QKeySequence KeysOf(const Shortcut& shortcut) {
  if (shortcut.empty()) return {};
  Qt::KeyboardModifiers modifiers;
  if (shortcut.ctrl) modifiers |= Qt::ControlModifier;
  if (shortcut.alt) modifiers |= Qt::AltModifier;
  const int key = shortcut.letter != 0 ? Qt::Key_A + (shortcut.letter - 'A') : Qt::Key_F1 + shortcut.functionKey - 1;
  return QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key)));
}

QAction* AddItem(QMenu* menu, const MenuEntry& row) {
  QAction* item = row.kind == MenuKind::kSeparator ? menu->addSeparator() : menu->addAction(Q(row.caption));
  item->setObjectName(Q(row.name));
  item->setShortcut(KeysOf(row.shortcut));
  item->setCheckable(row.kind == MenuKind::kToggle);
  item->setChecked(row.start.checked);
  item->setEnabled(row.start.enabled);
  item->setVisible(row.start.visible);
  return item;
}

}  // namespace

void TfrmMain::BuildMenus() {
  QMenu* menu = nullptr;
  for (const MenuEntry& row : MenuTable()) {
    if (row.kind == MenuKind::kMenu) {
      menu = menuBar()->addMenu(Q(row.caption));
      menu->setObjectName(Q(row.name));
      continue;
    }
    QAction* item = AddItem(menu, row);
    controls_.menuItems[row.id] = item;
    const MenuId id = row.id;
    // Qt flips a toggle's check mark itself; the core then sets the same mark.
    connect(item, &QAction::triggered, this, [this, id] { core_->menu(id); });
    // A hidden item takes no shortcut in Qt: the window holds it instead.
    if (row.keyWhileHidden) {
      auto* key = new QShortcut(item->shortcut(), this);
      key->setObjectName(Q(row.name + "Shortcut"));
      connect(key, &QShortcut::activated, this, [this, id] { core_->menu(id); });
    }
  }
}
