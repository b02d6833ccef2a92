// The Qt window under test: a throw-away data folder, preferences cleared,
// ports only the pseudo-terminals named in VORNBSL_EXTRA_PORTS, and every box
// and file dialog answered by the recorder the core's tests use too.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gui/main_window.h"
#include "web/web_host.h"
#include "window/recording_dialogs.h"

inline constexpr char kCaption[] = "Pelloran TGX Firmware Updater";
inline constexpr char kModel[] = "Pelloran TGX";
inline constexpr int kWaitMs = 5000;

inline QString Q(const std::string& text) { return QString::fromStdString(text); }

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings(kSettingsOrganisation, kSettingsApplication).clear();
    ASSERT_TRUE(dataDir_.isValid());
    ASSERT_TRUE(noSystemPorts_.isValid());
    qputenv("VORNBSL_DATA_DIR", dataDir_.path().toUtf8());
    SetExtraPorts({});
  }
  void TearDown() override {
    window_.reset();
    qunsetenv("VORNBSL_DATA_DIR");
    qunsetenv("VORNBSL_EXTRA_PORTS");
  }

  static void SetExtraPorts(const std::vector<std::string>& paths) {
    std::string joined;
    for (const std::string& path : paths) joined += (joined.empty() ? "" : ":") + path;
    qputenv("VORNBSL_EXTRA_PORTS", QByteArray::fromStdString(joined));
  }

  TfrmMain& Create(QStringList arguments = {QStringLiteral("vornbsl")}, const BuiltInImage* image = nullptr) {
    MainWindowOptions options;
    options.arguments = std::move(arguments);
    options.image = image;
    options.dialogs = &dialogs_;
    const std::string root = noSystemPorts_.path().toStdString();
    options.ports = [root] {
      PortSources sources = DefaultPortSources();
      sources.sysfsRoot = root;
      sources.devRoot = root;
      return sources;
    };
    window_ = std::make_unique<TfrmMain>(std::move(options));
    return *window_;
  }
  TfrmMain& Open(QStringList arguments = {QStringLiteral("vornbsl")}, const BuiltInImage* image = nullptr) {
    Create(std::move(arguments), image).show();
    return *window_;
  }

  template <typename Widget>
  Widget* Find(const char* name) {
    Widget* found = window_->findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  // Runs call on the window's thread and waits for it: an update run works on a thread of
  // its own, and widgets belong to the window's thread. Only for use inside a runner.
  template <typename Call>
  void OnWindowThread(Call call) {
    QMetaObject::invokeMethod(window_.get(), std::move(call), Qt::BlockingQueuedConnection);
  }

  WindowCore& Core() { return window_->Core(); }
  QAction* Action(const char* name) { return Find<QAction>(name); }
  QTimer* Timer(const char* name) { return Find<QTimer>(name); }
  QString Text(const char* label) { return Find<QLabel>(label)->text(); }

  static QVariant Setting(const char* name) {
    return QSettings(kSettingsOrganisation, kSettingsApplication).value(name);
  }
  static void SetSetting(const char* name, const QVariant& value) {
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.setValue(name, value);
    settings.sync();
  }

  std::string DataPath(const std::string& name) const { return dataDir_.path().toStdString() + "/" + name; }
  std::string ErrorFileText() const {
    std::ifstream in(DataPath(std::string(kCaption) + ".errors.txt"), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  QTemporaryDir dataDir_;
  QTemporaryDir noSystemPorts_;  // an empty system: no ports but the named ones
  RecordingDialogs dialogs_;
  std::unique_ptr<TfrmMain> window_;
};
