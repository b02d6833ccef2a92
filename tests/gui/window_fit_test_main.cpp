// main() of the window's fit tests. VORNBSL_TEST_DPI (96 when unset) is the
// screen's dots per inch. Qt's own scaling is off, so fonts grow with the DPI
// while widget pixels do not, as on a desktop set to a bigger font DPI. The
// screen keeps the physical size of a 1366 x 768 laptop screen at 96 DPI, or,
// with VORNBSL_TEST_SCREEN=WIDTHxHEIGHT, has that many pixels whatever the DPI
// (a small screen at a large scale).
#include <QApplication>
#include <QByteArray>
#include <QSize>
#include <QTemporaryFile>

#include "web_support/qt_test_main.h"

namespace {

constexpr int kBaseDpi = 96;
constexpr int kBaseWidth = 1366;
constexpr int kBaseHeight = 768;
constexpr int kOtherDpi = 144;

QSize ScreenSize(int dpi) {
  const QList<QByteArray> named = qgetenv("VORNBSL_TEST_SCREEN").split('x');
  if (named.size() == 2) return {named[0].toInt(), named[1].toInt()};
  return {kBaseWidth * dpi / kBaseDpi, kBaseHeight * dpi / kBaseDpi};
}

QString Screen(const char* name, int x, QSize size, int dpi) {
  return QStringLiteral(R"({"name":"%1","x":%2,"y":0,"width":%3,"height":%4,"logicalDpi":%5,"logicalBaseDpi":%6,"dpr":1})")
      .arg(QString::fromLatin1(name))
      .arg(x)
      .arg(size.width())
      .arg(size.height())
      .arg(dpi)
      .arg(kBaseDpi);
}

// The screen under test first; beside it a second one at the other DPI, for a window moved
// to a screen of another DPI.
QByteArray ScreenConfig(int dpi) {
  const QSize size = ScreenSize(dpi);
  const int otherDpi = dpi == kBaseDpi ? kOtherDpi : kBaseDpi;
  return (QStringLiteral(R"({"screens":[)") + Screen("fit", 0, size, dpi) + u',' +
          Screen("other", size.width(), ScreenSize(otherDpi), otherDpi) + QStringLiteral("]}"))
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
