// vornbsl (and vornbsl-sensor, the digital-sensor build): the updater's window.
#include <QApplication>

#include "app/build_target.h"
#include "app/update_session.h"
#include "bsl/builtin_image.h"
#include "gui/feedback_window.h"
#include "gui/main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("VornBSL"));
  // Both windows share the application name; the desktop entry is told by the program's own.
  QGuiApplication::setDesktopFileName(DigitalSensorBuild(BuiltInFirmware()) ? QStringLiteral("vornbsl-sensor")
                                                                            : QStringLiteral("vornbsl"));
  TfrmMain mainWindow;
  TfrmWeb webWindow(&mainWindow);
  mainWindow.SetWebWindow(&webWindow);
  // The image this program links is its build target, and decides what Start runs.
  mainWindow.Core().SetUpdateRunner(DigitalSensorBuild(BuiltInFirmware()) ? DigitalSensorUpdateRunner()
                                                                          : InstrumentUpdateRunner());
  mainWindow.show();
  return QApplication::exec();
}
