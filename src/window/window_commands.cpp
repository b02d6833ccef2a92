// The commands that do not update a device: open a firmware file, dump the
// held image, help, about, and the web services' menu items.
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"
#include "log/platform.h"
#include "window/window_core.h"
#include "window/window_dialogs.h"
#include "window/window_platform.h"
#include "window/window_texts.h"
#include "window/window_web.h"

#ifndef VORN_VERSION_TEXT
#define VORN_VERSION_TEXT ""
#endif

namespace {

constexpr char kOpenTitle[] = "Please select a firmware file";
constexpr char kSaveTitle[] = "Save Firmware Image";
constexpr char kFirmwareSuffix[] = "txt";
constexpr char kFileErrorTitle[] = "File Error";
constexpr char kDumpErrorTitle[] = "Error";
constexpr char kHelpTitle[] = "Help";

std::string FileNameOf(const std::string& path) { return Utf8FromPath(PathFromUtf8(path).filename()); }

}  // namespace

void WindowCore::OpenFirmwareFile1Click() {
  // The engine's image is what a run is sending: it stays as it is until the run ends.
  if (RunActive() || engine_ == nullptr) return;
  const FileRequest request{kOpenTitle, platform_.currentFolder(), {{"Firmware File", "*.txt"}, {"Any File", "*"}},
                            kFirmwareSuffix};
  const std::string path = dialogs_.openFile(request);
  if (path.empty()) return;
  const int result = BSLLoadTIFile(*engine_, path);
  if (result < 0) {
    ShowErrorBox(OpenFileErrorText(state_.caption, FileNameOf(path), result), kFileErrorTitle, kBoxError);
    return;
  }
  if (engine_->deviceType == kDeviceTypeUnknown) engine_->deviceType = static_cast<uint8_t>(state_.builtInKind);
  view_.setText(Control::userText2, engine_->modelName);
  // A sensor build keeps the chosen sensor's name and its pass-through texts: the
  // image's kind would only name "Digital Sensor".
  if (!state_.digitalSensorBuild) {
    state_.modelName = std::string(ProfileName(engine_->deviceType));
    view_.setText(Control::commLabel, CommLabelFor(state_.modelName));
    view_.setText(Control::lblConnect, ConnectTextFor(state_.modelName));
  }
  view_.setText(Control::userText1, UserText1For(state_.modelName));
  state_.imageVersion = engine_->imageVersion;
  state_.settingsFile = SettingsFileFor(state_.dataFolder, state_.modelName);
  state_.eraseStep = 1;
  state_.uploadStep = UploadStepFor(engine_->imageText.size());
  view_.beep(kBoxInformation);
  Enable(Control::btnStart, true);
  EnableMenuItem(MenuId::UpdateFirmware1, true);
}

void WindowCore::DumpFirmwareImage1Click() {
  if (engine_ == nullptr) return;
  const std::string path = dialogs_.saveFile(FileRequest{kSaveTitle, {}, {}, kFirmwareSuffix});
  if (path.empty()) return;
  const int result = BSLWriteTIFile(*engine_, path);
  if (result < 0) ShowErrorBox(DumpErrorText(result), kDumpErrorTitle, kBoxWarning);
}

void WindowCore::Help2Click() {
  ShowErrorBox(HelpText(state_.caption, state_.modelName, DataEraseWarning(state_.builtInKind),
                        state_.digitalSensorBuild),
               kHelpTitle, kBoxPlain);
}

void WindowCore::About1Click() {
  const std::string version = platform_.programVersion().value_or(VORN_VERSION_TEXT);
  ShowErrorBox(AboutText(version), AboutTitleFor(state_.modelName), kBoxInformation);
}

void WindowCore::CheckforUpdates1Click() {
  if (web_ != nullptr) web_->checkVersion(true, state_.imageVersion, state_.versionFinderPath, state_.modelName);
}

void WindowCore::SendFeedbacktoTessaly1Click() {
  if (web_ == nullptr || engine_ == nullptr) return;
  web_->sendFeedback(FeedbackFacts{state_.caption, engine_->modelName, state_.errorFile}, log_.get());
}
