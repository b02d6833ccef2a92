// A person at a device's own command line between two runs: one "set" line, answered "OK".
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "serial/serial_port.h"

inline void SetOnDevice(const std::string& port, const std::string& line) {
  constexpr int kPromptWaitMs = 2000;
  SerialPort serial;
  ASSERT_EQ(VSOpen(serial, port, 9600), 1);
  ASSERT_GT(VSWriteText(serial, line + "\r"), 0);
  ASSERT_EQ(VSWait(serial, kPromptWaitMs, '>'), '>');
  char answer[256];
  int count = 0;
  VSRead(serial, answer, sizeof answer, &count);
  EXPECT_NE(std::string(answer, static_cast<size_t>(count)).find("OK"), std::string::npos) << line;
  VSClose(serial);
}
