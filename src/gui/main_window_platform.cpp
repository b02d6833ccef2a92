#include "gui/main_window_platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "web/web_host.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::optional<QVariant> Preference(const std::string& name) {
  const QSettings settings(kSettingsOrganisation, kSettingsApplication);
  if (!settings.contains(Q(name))) return std::nullopt;
  return settings.value(Q(name));
}

void SetPreference(const std::string& name, const QVariant& value) {
  QSettings settings(kSettingsOrganisation, kSettingsApplication);
  settings.setValue(Q(name), value);
  settings.sync();
}

}  // namespace

std::vector<std::string> QtWindowPlatform::arguments() const {
  std::vector<std::string> arguments;
  for (const QString& argument : arguments_.value_or(QCoreApplication::arguments())) {
    arguments.push_back(argument.toStdString());
  }
  return arguments;
}

std::optional<std::string> QtWindowPlatform::environment(const std::string& name) const {
  if (!qEnvironmentVariableIsSet(name.c_str())) return std::nullopt;
  return qEnvironmentVariable(name.c_str()).toStdString();
}

// XDG_DATA_HOME or ~/.local/share on Linux, the local application-data folder on Windows.
std::string QtWindowPlatform::userDataFolder() const {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString();
}

std::string QtWindowPlatform::programFolder() const { return QCoreApplication::applicationDirPath().toStdString(); }

std::string QtWindowPlatform::currentFolder() const { return QDir::currentPath().toStdString(); }

std::optional<bool> QtWindowPlatform::readFlag(const std::string& name) const {
  const std::optional<QVariant> value = Preference(name);
  if (!value) return std::nullopt;
  return value->toBool();
}

std::optional<std::string> QtWindowPlatform::readText(const std::string& name) const {
  const std::optional<QVariant> value = Preference(name);
  if (!value) return std::nullopt;
  return value->toString().toStdString();
}

void QtWindowPlatform::writeFlag(const std::string& name, bool on) { SetPreference(name, on ? 1 : 0); }

void QtWindowPlatform::writeText(const std::string& name, const std::string& text) { SetPreference(name, Q(text)); }
