// The first showing, the preferences, the data folder and the start-up timers.
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include "app/build_target.h"
#include "bsl/builtin_image.h"
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"
#include "gui/feedback_window.h"
#include "gui/main_window.h"
#include "gui/main_window_texts.h"
#include "gui/main_window_ui.h"
#include "web/check_version_command.h"
#include "web/web_host.h"

namespace {

constexpr char kFactorySwitch[] = "-factory";
constexpr char kRepairSwitch[] = "-rep";
constexpr char kFindAllCommsValue[] = "FindAllComms";
constexpr char kCommPortValue[] = "CommPort";
constexpr char kVerboseLogValue[] = "VerboseLog";
constexpr char kDataDirVariable[] = "VORNBSL_DATA_DIR";
constexpr char kDataSubfolder[] = "/Tessaly/VornBSL";
constexpr char kErrorFileSuffix[] = ".errors.txt";
constexpr char kWindowTag[] = "VornBSL frmMain";
constexpr float kUploadSpan = 35328.0f;  // 69 callbacks of 512 characters take the bar from 21 to about 90

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The per-user data folder, created; the program's own folder when it cannot be.
QString DataFolder() {
  QString folder = qEnvironmentVariable(kDataDirVariable);
  if (folder.isEmpty()) {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/share");
    folder = base + QString::fromLatin1(kDataSubfolder);
  }
  if (QDir().mkpath(folder)) return QDir::cleanPath(folder);
  return QCoreApplication::applicationDirPath();
}

}  // namespace

float UploadStepFor(size_t imageLength) {
  // An empty image has no upload callbacks; a step of 0 keeps the bar finite.
  return imageLength == 0 ? 0.0f : kUploadSpan / static_cast<float>(imageLength);
}

void TfrmMain::FormShow() {
  const BuiltInImage& image = options_.image != nullptr ? *options_.image : BuiltInFirmware();
  // A sensor build makes its sensor-menu choice first: the type's name is the model name.
  TargetBuild(state_, image);
  if (state_.digitalSensorBuild) {
    CheckSensorItem(state_.sensorType);
  } else {
    state_.versionFinderPath = VersionFinderPath(state_.builtInKind);
  }
  state_.caption = CaptionFor(state_.modelName);
  setWindowTitle(Q(state_.caption));
  QCoreApplication::setApplicationName(Q(state_.modelName + " Updater"));
  About1->setText(Q(AboutTitleFor(state_.modelName)));

  ReadCommandLine();
  OpenFirmwareFile1->setEnabled(state_.repairMode);
  ReplaceSerialNumber1->setVisible(state_.factoryMode);
  DontEraseData1->setVisible(state_.factoryMode);
  ShowSensorMenu(state_.digitalSensorBuild && state_.factoryMode);

  ReadPreferences();
  state_.dataFolder = DataFolder().toStdString();
  state_.errorFile = state_.dataFolder + "/" + state_.caption + kErrorFileSuffix;
  CreateObjects();
  ListPortsAtStart();
  SetModelTexts();
  state_.eraseStep = 1;
  state_.uploadStep = UploadStepFor(engine_->imageText.size());
  state_.imageVersion = image.imageVersion;
  StartTimerChain();
}

void TfrmMain::ReadCommandLine() {
  const QStringList arguments = options_.arguments.value_or(QCoreApplication::arguments());
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == QLatin1String(kFactorySwitch)) {
      state_.factoryMode = true;
      state_.repairMode = true;
    } else if (arguments[i] == QLatin1String(kRepairSwitch)) {
      state_.repairMode = true;
    }
  }
}

void TfrmMain::ReadPreferences() {
  const QSettings settings(kSettingsOrganisation, kSettingsApplication);
  state_.forceFindAllPorts = settings.value(kFindAllCommsValue, false).toBool();
  ForceFindAllCommPorts1->setChecked(state_.forceFindAllPorts);
  state_.verbose = true;
  VerboseErrorFile1->setChecked(true);
  savedPortName_.reset();
  if (settings.contains(kCommPortValue)) savedPortName_ = settings.value(kCommPortValue).toString().toStdString();
}

void TfrmMain::WritePreferences() const {
  QSettings settings(kSettingsOrganisation, kSettingsApplication);
  settings.setValue(kFindAllCommsValue, state_.forceFindAllPorts ? 1 : 0);
  settings.setValue(kVerboseLogValue, state_.verbose ? 1 : 0);
  settings.setValue(kCommPortValue, Q(state_.portName));
  settings.sync();
}

void TfrmMain::CreateObjects() {
  log_ = std::make_unique<MessageLog>(
      CreateMessageLog(state_.errorFile, state_.verbose ? kLogProtocol : kLogFailure, false));
  engine_ = std::make_unique<HostBSL>(log_.get(), options_.image != nullptr ? *options_.image : BuiltInFirmware());
  enumPort_ = std::make_unique<SerialPort>(log_.get());
  SetPumpHook(PumpWindowEvents);
}

void TfrmMain::SetModelTexts() {
  userText2->setText(Q(engine_->modelName));
  userText1->setText(Q(UserText1For(state_.modelName)));
  // The sensor build asks for the pass-through device, not for the sensor.
  commLabel->setText(Q(CommLabelFor(state_.digitalSensorBuild ? kSensorCommTarget : state_.modelName)));
  lblConnect->setText(Q(ConnectTextFor(state_.digitalSensorBuild ? kSensorConnectTarget : state_.modelName)));
}

void TfrmMain::StartTimerChain() {
  // An engine that failed leaves only the launch error and the close: no other
  // box may come up beside it.
  if (engine_->constructorError < 0) {
    timerConstructorErrors->start();
  } else if (EraseWarningDue(state_, state_.builtInKind)) {
    timerEraseWarn->start();
  } else {
    tWebCheck->start();
  }
}

void TfrmMain::timerEraseWarnTimer() {
  timerEraseWarn->stop();
  ShowErrorBox(EraseWarningText(state_.caption, state_.modelName), kEraseWarningTitle, kBoxWarning);
  tWebCheck->start();
}

void TfrmMain::timerConstructorErrorsTimer() {
  timerConstructorErrors->stop();
  const int error = engine_->constructorError;
  ShowErrorBox(ConstructorErrorText(state_.caption, error), "Application Launch Error", kBoxError);
  print_message(log_.get(), kLogFailure, kWindowTag, "HostBSL class got an constructor error (%d)", error);
  close();
}

void TfrmMain::tWebCheckTimer() {
  tWebCheck->stop();
  if (web_ != nullptr) web_->StartVersionCheck(false, state_.imageVersion, Q(state_.versionFinderPath), Q(state_.modelName));
}
