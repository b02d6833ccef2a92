// vornbsl: the updater's window.
#include <QApplication>

#include "app/update_session.h"
#include "gui/feedback_window.h"
#include "gui/main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("VornBSL"));
  TfrmMain mainWindow;
  TfrmWeb webWindow(&mainWindow);
  mainWindow.SetWebWindow(&webWindow);
  mainWindow.SetUpdateRunner(InstrumentUpdateRunner());
  mainWindow.show();
  return QApplication::exec();
}
