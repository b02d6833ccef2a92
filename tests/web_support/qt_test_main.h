// main() of the Qt tests: the application object exists only while tests run
// (listing them needs no display), and the settings go to a throw-away folder.
#pragma once

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

template <typename Application>
int RunQtTests(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // CTest sets the offscreen platform; this keeps a binary run by hand off the display too.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  Application application(argc, argv);
  const QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  return RUN_ALL_TESTS();
}
