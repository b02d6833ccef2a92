// The menus and the Settings menu's toggles.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>

#include "app/build_target.h"
#include "gui/main_window.h"
#include "gui/main_window_texts.h"

namespace {

QAction* Item(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {}) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  action->setShortcut(shortcut);
  return action;
}

QAction* Toggle(QMenu* menu, const char* name, const QString& caption, bool checked) {
  QAction* action = Item(menu, name, caption);
  action->setCheckable(true);
  action->setChecked(checked);
  return action;
}

}  // namespace

void TfrmMain::BuildMenus() {
  File1 = menuBar()->addMenu(QStringLiteral("&File"));
  File1->setObjectName(QStringLiteral("File1"));
  OpenFirmwareFile1 = Item(File1, "OpenFirmwareFile1", QStringLiteral("&Open Firmware File..."),
                           QKeySequence(Qt::CTRL | Qt::Key_O));
  OpenFirmwareFile1->setEnabled(false);
  UpdateFirmware1 =
      Item(File1, "UpdateFirmware1", QStringLiteral("&Update Firmware"), QKeySequence(Qt::CTRL | Qt::Key_F));
  DumpFirmwareImage1 = Item(File1, "DumpFirmwareImage1", QStringLiteral("&Dump Firmware Image..."),
                            QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_D));
  DumpFirmwareImage1->setVisible(false);
  Exit1 = Item(File1, "Exit1", QStringLiteral("&Exit"), QKeySequence(Qt::CTRL | Qt::Key_Q));

  Settings1 = menuBar()->addMenu(QStringLiteral("&Settings"));
  Settings1->setObjectName(QStringLiteral("Settings1"));
  VerboseErrorFile1 = Toggle(Settings1, "VerboseErrorFile1", QStringLiteral("&Verbose Error File"), true);
  VerboseErrorFile1->setEnabled(false);
  ForceFindAllCommPorts1 =
      Toggle(Settings1, "ForceFindAllCommPorts1", QStringLiteral("Force Find All &Comm Ports"), false);
  DontEraseData1 = Toggle(Settings1, "DontEraseData1", QStringLiteral("&Don't Erase Data"), false);
  DontEraseData1->setVisible(false);
  ReplaceSerialNumber1 = Toggle(Settings1, "ReplaceSerialNumber1", QStringLiteral("&Replace Serial Number"), false);
  ReplaceSerialNumber1->setVisible(false);
  SensorSeparator = Settings1->addSeparator();
  SensorSeparator->setObjectName(QStringLiteral("SensorSeparator"));
  SensorSeparator->setVisible(false);
  SetDigitalSensorto1 = Item(Settings1, "SetDigitalSensorto1", QStringLiteral("Set Digital Sensor to:"));
  SetDigitalSensorto1->setEnabled(false);
  SetDigitalSensorto1->setVisible(false);
  for (const SensorMenuItem& item : SensorMenuItems()) {
    const QString caption = QString::fromUtf8(item.caption.data(), static_cast<qsizetype>(item.caption.size()));
    QAction* action = Toggle(Settings1, "", caption, false);
    action->setObjectName(QStringLiteral("SensorType%1").arg(item.type));
    action->setVisible(false);
    const uint32_t type = item.type;
    connect(action, &QAction::triggered, this, [this, type] { SelectSensorType(type); });
    SensorItems.push_back(action);
  }

  Help1 = menuBar()->addMenu(QStringLiteral("&Help"));
  Help1->setObjectName(QStringLiteral("Help1"));
  Help2 = Item(Help1, "Help2", QStringLiteral("&Help"), QKeySequence(Qt::Key_F1));
  SendFeedbacktoTessaly1 = Item(Help1, "SendFeedbacktoTessaly1", QStringLiteral("Send Feedback to VANTO..."));
  CheckforUpdates1 = Item(Help1, "CheckforUpdates1", QStringLiteral("Check for Newer Firmware Version"));
  Help1->addSeparator();
  About1 = Item(Help1, "About1", QStringLiteral("&About..."));

  // A hidden item takes no shortcut, so the dump has its own.
  DumpShortcut = new QShortcut(DumpFirmwareImage1->shortcut(), this);
  DumpShortcut->setObjectName(QStringLiteral("DumpShortcut"));
  connect(DumpShortcut, &QShortcut::activated, this, [this] { DumpFirmwareImage1Click(); });

  connect(OpenFirmwareFile1, &QAction::triggered, this, [this] { OpenFirmwareFile1Click(); });
  connect(UpdateFirmware1, &QAction::triggered, this, [this] { UpdateFirmware1Click(); });
  connect(DumpFirmwareImage1, &QAction::triggered, this, [this] { DumpFirmwareImage1Click(); });
  connect(Exit1, &QAction::triggered, this, [this] { close(); });
  connect(VerboseErrorFile1, &QAction::triggered, this, [this] { VerboseErrorFile1Click(); });
  connect(ForceFindAllCommPorts1, &QAction::triggered, this, [this] { ForceFindAllCommPorts1Click(); });
  connect(DontEraseData1, &QAction::triggered, this, [this] { DontEraseData1Click(); });
  connect(ReplaceSerialNumber1, &QAction::triggered, this, [this] { ReplaceSerialNumber1Click(); });
  connect(Help2, &QAction::triggered, this, [this] { Help2Click(); });
  connect(SendFeedbacktoTessaly1, &QAction::triggered, this, [this] { SendFeedbacktoTessaly1Click(); });
  connect(CheckforUpdates1, &QAction::triggered, this, [this] { CheckforUpdates1Click(); });
  connect(About1, &QAction::triggered, this, [this] { About1Click(); });
}

// Each toggle's check mark has already flipped when its handler runs.

void TfrmMain::VerboseErrorFile1Click() {
  state_.verbose = VerboseErrorFile1->isChecked();
  if (log_ != nullptr) SetLevel(*log_, state_.verbose ? kLogProtocol : kLogFailure);
}

void TfrmMain::ForceFindAllCommPorts1Click() { state_.forceFindAllPorts = ForceFindAllCommPorts1->isChecked(); }

void TfrmMain::DontEraseData1Click() { state_.dontEraseData = DontEraseData1->isChecked(); }

void TfrmMain::ReplaceSerialNumber1Click() {
  state_.replaceSerialNumber = ReplaceSerialNumber1->isChecked();
  newSN->setVisible(state_.replaceSerialNumber);
  newSNstr->setVisible(state_.replaceSerialNumber);
  if (state_.replaceSerialNumber) newSNstr->setFocus();
}

void TfrmMain::ShowSensorMenu(bool shown) {
  SensorSeparator->setVisible(shown);
  SetDigitalSensorto1->setVisible(shown);
  for (size_t i = 0; i < SensorItems.size(); ++i) {
    SensorItems[i]->setVisible(shown && SensorMenuItems()[i].shownInFactoryMode);
  }
}

void TfrmMain::CheckSensorItem(uint32_t type) {
  for (size_t i = 0; i < SensorItems.size(); ++i) SensorItems[i]->setChecked(SensorMenuItems()[i].type == type);
}

void TfrmMain::SelectSensorType(uint32_t type) {
  if (!::SelectSensorType(state_, type)) return;
  CheckSensorItem(type);
  userText1->setText(QString::fromStdString(UserText1For(state_.modelName)));
}
