#include <QApplication>

#include "web_support/qt_test_main.h"

int main(int argc, char** argv) { return RunQtTests<QApplication>(argc, argv); }
