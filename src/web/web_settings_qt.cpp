#include "web/web_settings_qt.h"

#include <QSettings>

#include "web/web_host.h"

std::optional<std::string> QtWebSettings::read(const std::string& group, const std::string& name) const {
  const QSettings settings(kSettingsOrganisation, QString::fromStdString(group));
  const QVariant value = settings.value(QString::fromStdString(name));
  if (!value.isValid()) return std::nullopt;
  return value.toString().toStdString();
}

void QtWebSettings::write(const std::string& group, const std::string& name, const std::string& value) {
  QSettings settings(kSettingsOrganisation, QString::fromStdString(group));
  settings.setValue(QString::fromStdString(name), QString::fromStdString(value));
}
