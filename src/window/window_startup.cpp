// The first showing, the preferences, the data folder and the start-up timers.
#include <filesystem>
#include <system_error>

#include "app/build_target.h"
#include "app/update_session.h"
#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "log/platform.h"
#include "web/version_finder_path.h"
#include "window/window_core.h"
#include "window/window_platform.h"
#include "window/window_texts.h"
#include "window/window_web.h"

namespace {

constexpr char kFactorySwitch[] = "-factory";
constexpr char kRepairSwitch[] = "-rep";
constexpr char kFindAllCommsValue[] = "FindAllComms";
constexpr char kCommPortValue[] = "CommPort";
constexpr char kNetworkPortsValue[] = "NetworkPorts";  // URLs, one space between two
constexpr char kVerboseLogValue[] = "VerboseLog";
constexpr char kDataDirVariable[] = "VORNBSL_DATA_DIR";
constexpr char kDataSubfolder[] = "/Tessaly/VornBSL";
constexpr char kErrorFileSuffix[] = ".errors.txt";
constexpr char kApplicationSuffix[] = " Updater";
constexpr char kWindowTag[] = "VornBSL frmMain";
constexpr char kLaunchErrorTitle[] = "Application Launch Error";

bool MakeFolder(const std::string& folder) {
  std::error_code error;
  const std::filesystem::path path = PathFromUtf8(folder);
  std::filesystem::create_directories(path, error);
  return std::filesystem::is_directory(path, error);
}

}  // namespace

float UploadStepFor(size_t imageLength) {
  // An empty image has no upload callbacks; a step of 0 keeps the bar finite.
  return imageLength == 0 ? 0.0f : kUploadSpan / static_cast<float>(imageLength);
}

void WindowCore::shown() {
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void WindowCore::FormShow() {
  const BuiltInImage& image = options_.image != nullptr ? *options_.image : BuiltInFirmware();
  // A sensor build makes its sensor-menu choice first: the type's name is the model name.
  TargetBuild(state_, image);
  if (state_.digitalSensorBuild) {
    CheckSensorItem(state_.sensorType);
  } else {
    state_.versionFinderPath = VersionFinderPath(state_.builtInKind);
  }
  state_.caption = CaptionFor(state_.modelName);
  view_.setTitles(state_.caption, state_.modelName + kApplicationSuffix);
  view_.setMenuCaption(MenuId::About1, AboutTitleFor(state_.modelName));

  ReadCommandLine();
  EnableMenuItem(MenuId::OpenFirmwareFile1, state_.repairMode);
  ShowMenuItem(MenuId::ReplaceSerialNumber1, state_.factoryMode);
  ShowMenuItem(MenuId::DontEraseData1, state_.factoryMode);
  ShowSensorMenu(state_.digitalSensorBuild && state_.factoryMode);

  ReadPreferences();
  state_.dataFolder = DataFolder();
  state_.errorFile = state_.dataFolder + "/" + state_.caption + kErrorFileSuffix;
  CreateObjects();
  ListPortsAtStart();
  SetModelTexts();
  ShowUnfinished(UpdateUnfinished());
  state_.eraseStep = 1;
  state_.uploadStep = UploadStepFor(engine_->imageText.size());
  state_.imageVersion = image.imageVersion;
  StartTimerChain();
}

void WindowCore::ReadCommandLine() {
  const std::vector<std::string> arguments = platform_.arguments();
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == kFactorySwitch) {
      state_.factoryMode = true;
      state_.repairMode = true;
    } else if (arguments[i] == kRepairSwitch) {
      state_.repairMode = true;
    }
  }
}

void WindowCore::ReadPreferences() {
  state_.forceFindAllPorts = platform_.readFlag(kFindAllCommsValue).value_or(false);
  CheckMenuItem(MenuId::ForceFindAllCommPorts1, state_.forceFindAllPorts);
  state_.verbose = true;
  CheckMenuItem(MenuId::VerboseErrorFile1, true);
  savedPortName_ = platform_.readText(kCommPortValue);
  networkPorts_ = SplitNetworkPorts(platform_.readText(kNetworkPortsValue).value_or(""));
}

void WindowCore::WritePreferences() {
  platform_.writeFlag(kFindAllCommsValue, state_.forceFindAllPorts);
  platform_.writeFlag(kVerboseLogValue, state_.verbose);
  platform_.writeText(kCommPortValue, state_.portName);
  platform_.writeText(kNetworkPortsValue, JoinNetworkPorts(networkPorts_));
}

// The per-user data folder, created; the program's own folder when it cannot be.
std::string WindowCore::DataFolder() const {
  std::string folder = platform_.environment(kDataDirVariable).value_or("");
  if (folder.empty()) {
    const std::string base = platform_.userDataFolder();
    if (!base.empty()) folder = base + kDataSubfolder;
  }
  return !folder.empty() && MakeFolder(folder) ? folder : platform_.programFolder();
}

void WindowCore::CreateObjects() {
  log_ = std::make_unique<MessageLog>(
      CreateMessageLog(state_.errorFile, state_.verbose ? kLogProtocol : kLogFailure, false));
  engine_ = std::make_unique<HostBSL>(log_.get(), options_.image != nullptr ? *options_.image : BuiltInFirmware());
  enumPort_ = std::make_unique<SerialPort>(log_.get());
}

void WindowCore::SetModelTexts() {
  view_.setText(Control::userText2, engine_->modelName);
  view_.setText(Control::userText1, UserText1For(state_.modelName));
  // The sensor build asks for the pass-through device, not for the sensor.
  view_.setText(Control::commLabel, CommLabelFor(state_.digitalSensorBuild ? kSensorCommTarget : state_.modelName));
  view_.setText(Control::lblConnect,
                ConnectTextFor(state_.digitalSensorBuild ? kSensorConnectTarget : state_.modelName));
}

void WindowCore::StartTimerChain() {
  // An engine that failed leaves only the launch error and the close: no other
  // box may come up beside it.
  if (engine_->constructorError < 0) {
    StartTimer(TimerId::timerConstructorErrors);
  } else if (EraseWarningDue(state_, state_.builtInKind)) {
    StartTimer(TimerId::timerEraseWarn);
  } else {
    StartTimer(TimerId::tWebCheck);
  }
}

void WindowCore::timerEraseWarnTimer() {
  StopTimer(TimerId::timerEraseWarn);
  ShowErrorBox(EraseWarningText(state_.caption, state_.modelName), kEraseWarningTitle, kBoxWarning);
  StartTimer(TimerId::tWebCheck);
}

void WindowCore::timerConstructorErrorsTimer() {
  StopTimer(TimerId::timerConstructorErrors);
  const int error = engine_->constructorError;
  ShowErrorBox(ConstructorErrorText(state_.caption, error), kLaunchErrorTitle, kBoxError);
  print_message(log_.get(), kLogFailure, kWindowTag, "HostBSL class got an constructor error (%d)", error);
  view_.closeWindow();
}

void WindowCore::tWebCheckTimer() {
  StopTimer(TimerId::tWebCheck);
  if (web_ != nullptr) web_->checkVersion(false, state_.imageVersion, state_.versionFinderPath, state_.modelName);
}

// Every way the window closes passes here.
void WindowCore::FormClose() {
  // A start still pending must not run on a closed window.
  for (const TimerId id : kAllTimers) StopTimer(id);
  if (shown_) WritePreferences();
}
