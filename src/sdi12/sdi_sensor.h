// The SDI-12 sensor link: one framed exchange through the pass-through device
// (Fieldrex or AQUIN Comm Device) and the sensor operations built on it.
#pragma once

#include <cstdint>
#include <string>

#include "log/message_log.h"

struct DeviceLink;

struct SDISensor {
  char address = '0';
  std::string identity;        // at most 36 characters
  std::string calibrationX4;   // at most 512 characters each
  std::string calibrationXa;
  std::string calibrationXO;
  bool xoPresent = false;
  std::string serialNumber;    // at most 32 characters
  uint8_t sensorType = 0;
  uint32_t version = 0;        // 356 for 3.56
  bool typeIsNumeric = false;
  MessageLog* log = nullptr;
  DeviceLink* port = nullptr;  // the instrument link's command link; not owned
  std::string reply;           // the last answer, at most 255 characters
  uint32_t timeoutMs = 2000;
  uint32_t tries = 5;

  SDISensor(MessageLog* messageLog, DeviceLink* link) : log(messageLog), port(link) {}
};
