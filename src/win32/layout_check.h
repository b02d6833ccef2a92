// The window's own check of its layout, for the tests: with VORNBSL_LAYOUT_CHECK naming a
// report file, the window measures every text it can show (idle, every stage text and
// instruction of a run for every model name it can hold) and every box, in its own process
// with the system's own measures, writes what does not fit into the report, and closes.
// With VORNBSL_PICTURE_DIR it also saves its idle and mid-update pictures there (BMP).
// Without the variable nothing happens.
#pragma once

class Win32MainWindow;

void PrepareLayoutCheck(Win32MainWindow& window);
