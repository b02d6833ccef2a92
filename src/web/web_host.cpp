#include "web/web_host.h"

#include <QSettings>

namespace {

QString FirstNonEmpty(const QString& option, const char* variable, const char* setting, const char* fallback) {
  if (!option.trimmed().isEmpty()) return option.trimmed();
  const QString fromEnvironment = qEnvironmentVariable(variable).trimmed();
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
  const QSettings settings(kSettingsOrganisation, kSettingsApplication);
  const QString fromSettings = settings.value(setting).toString().trimmed();
  if (!fromSettings.isEmpty()) return fromSettings;
  return fallback;
}

}  // namespace

QString ConfiguredWebHost(const QString& option) {
  return FirstNonEmpty(option, kWebHostVariable, kWebHostSetting, kDefaultWebHost);
}

QString ConfiguredSupportEmail() {
  return FirstNonEmpty({}, kSupportEmailVariable, kSupportEmailSetting, kDefaultSupportEmail);
}

QUrl WebHostUrl(const QString& text) {
  QString written = text.trimmed();
  if (!written.contains(QStringLiteral("://"))) written.prepend(QStringLiteral("https://"));
  const QUrl url(written, QUrl::StrictMode);
  const bool web = url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http");
  if (!url.isValid() || !web || url.host().isEmpty() || url.hasQuery() || url.hasFragment()) return {};
  QUrl base;
  base.setScheme(url.scheme());
  base.setHost(url.host());
  base.setPort(url.port());
  QString path = url.path();
  while (path.endsWith(u'/')) path.chop(1);
  base.setPath(path);
  return base;
}
