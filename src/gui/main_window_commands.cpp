// The commands that do not update a device: open a firmware file, dump the
// held image, help, about, and the web services' menu items.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"
#include "gui/feedback_window.h"
#include "gui/main_window.h"
#include "gui/main_window_dialogs.h"
#include "gui/main_window_texts.h"

#ifndef VORN_VERSION_TEXT
#define VORN_VERSION_TEXT ""
#endif

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

void TfrmMain::OpenFirmwareFile1Click() {
  // The engine's image is what a run is sending: it stays as it is until the run ends.
  if (RunActive() || engine_ == nullptr) return;
  const FileDialogRequest request{QStringLiteral("Please select a firmware file"), QDir::currentPath(),
                            QStringLiteral("Firmware File (*.txt);;Any File (*)"), QStringLiteral("txt")};
  const QString path = dialogs_->OpenFile(this, request);
  if (path.isEmpty()) return;
  const std::string fileName = QFileInfo(path).fileName().toStdString();
  const int result = BSLLoadTIFile(*engine_, LocalPath(path));
  if (result < 0) {
    ShowErrorBox(OpenFileErrorText(state_.caption, fileName, result), "File Error", kBoxError);
    return;
  }
  if (engine_->deviceType == kDeviceTypeUnknown) engine_->deviceType = static_cast<uint8_t>(state_.builtInKind);
  userText2->setText(Q(engine_->modelName));
  // A sensor build keeps the chosen sensor's name and its pass-through texts: the
  // image's kind would only name "Digital Sensor".
  if (!state_.digitalSensorBuild) {
    state_.modelName = std::string(ProfileName(engine_->deviceType));
    commLabel->setText(Q(CommLabelFor(state_.modelName)));
    lblConnect->setText(Q(ConnectTextFor(state_.modelName)));
  }
  userText1->setText(Q(UserText1For(state_.modelName)));
  state_.imageVersion = engine_->imageVersion;
  state_.settingsFile = SettingsFileFor(state_.dataFolder, state_.modelName);
  state_.eraseStep = 1;
  state_.uploadStep = UploadStepFor(engine_->imageText.size());
  QApplication::beep();
  btnStart->setEnabled(true);
  UpdateFirmware1->setEnabled(true);
}

void TfrmMain::DumpFirmwareImage1Click() {
  if (engine_ == nullptr) return;
  const FileDialogRequest request{QStringLiteral("Save Firmware Image"), QString(), QString(), QStringLiteral("txt")};
  const QString path = dialogs_->SaveFile(this, request);
  if (path.isEmpty()) return;
  const int result = BSLWriteTIFile(*engine_, LocalPath(path));
  if (result < 0) ShowErrorBox(DumpErrorText(result), "Error", kBoxWarning);
}

void TfrmMain::Help2Click() {
  ShowErrorBox(HelpText(state_.caption, state_.modelName, DataEraseWarning(state_.builtInKind),
                        state_.digitalSensorBuild),
               "Help", kBoxPlain);
}

void TfrmMain::About1Click() {
  ShowErrorBox(AboutText(VORN_VERSION_TEXT), AboutTitleFor(state_.modelName), kBoxInformation);
}

void TfrmMain::CheckforUpdates1Click() {
  if (web_ == nullptr) return;
  web_->StartVersionCheck(true, state_.imageVersion, Q(state_.versionFinderPath), Q(state_.modelName));
}

void TfrmMain::SendFeedbacktoTessaly1Click() {
  if (web_ == nullptr || engine_ == nullptr) return;
  web_->SendFeedback(MakeFeedbackInfo(Q(state_.caption), Q(engine_->modelName), Q(state_.errorFile)), log_.get());
}
