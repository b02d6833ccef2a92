// main() of the window's fit tests. VORNBSL_TEST_DPI (96 when unset) is the
// screen's dots per inch. Qt's own scaling is off, so fonts grow with the DPI
// while widget pixels do not, as on a desktop set to a bigger font DPI; the
// screen keeps the physical size of a 1366 x 768 laptop screen at 96 DPI.
#include <QApplication>
#include <QByteArray>
#include <QTemporaryFile>

#include "web_support/qt_test_main.h"

namespace {

constexpr int kBaseDpi = 96;
constexpr int kBaseWidth = 1366;
constexpr int kBaseHeight = 768;

QByteArray ScreenConfig(int dpi) {
  const int width = kBaseWidth * dpi / kBaseDpi;
  const int height = kBaseHeight * dpi / kBaseDpi;
  return QStringLiteral(R"({"screens":[{"name":"fit","x":0,"y":0,"width":%1,"height":%2,)"
                        R"("logicalDpi":%3,"logicalBaseDpi":%4,"dpr":1}]})")
      .arg(width)
      .arg(height)
      .arg(dpi)
      .arg(kBaseDpi)
      .toUtf8();
}

}  // namespace

int main(int argc, char** argv) {
  const int dpi = qEnvironmentVariableIsSet("VORNBSL_TEST_DPI") ? qEnvironmentVariableIntValue("VORNBSL_TEST_DPI")
                                                                 : kBaseDpi;
  QTemporaryFile config;
  if (!config.open() || config.write(ScreenConfig(dpi)) < 0 || !config.flush()) return 1;
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toUtf8());
  return RunQtTests<QApplication>(argc, argv);
}
