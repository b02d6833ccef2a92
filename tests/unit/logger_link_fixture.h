// A command link on a pseudo-terminal whose other side a scripted device
// plays. The link's sleeps only advance a virtual clock, so retry pauses and
// settling waits cost no time; answer time-outs still run in real time.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "line_device.h"
#include "logger/device_link.h"
#include "pty_pair.h"
#include "test_folder.h"

class LinkOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_logger_");
    log_ = CreateMessageLog((dir_ / "link.errors.txt").string(), kLogBytes, true);
    link_ = std::make_unique<DeviceLink>(&log_);
    link_->hooks.sleep = [this](int ms) {
      slept_ += ms;
      clock_ += static_cast<uint32_t>(ms);
    };
  }

  void TearDown() override {
    link_.reset();
    std::filesystem::remove_all(dir_);
  }

  // Opens the port as a connection of the given type would, without logging in.
  void Open(uint8_t type = kConnectionSerial) {
    ASSERT_EQ(VSOpen(link_->port, pty_.slavePath, kLinkBaud), 1);
    link_->params.connectionType = type;
    link_->currentTries = type == kConnectionRadio ? link_->config.radioTries : link_->config.serialTries;
  }

  // Makes the link believe it has identified a device.
  void Identify(uint8_t deviceClass, int32_t version, bool newFirmware = true, const std::string& name = "LOGGER1") {
    LoggerSettings& s = link_->settings;
    s.deviceClass = deviceClass;
    s.className = DeviceClassRow(deviceClass).name;
    s.versionNumber = version;
    s.versionText = "TAG " + std::to_string(version / 100) + "." + std::to_string(version % 100 / 10) +
                    std::to_string(version % 10);
    s.newFirmware = newFirmware;
    s.deviceName = name;
    SetClassCapabilities(s);
  }

  // Lets the link's clock run on the virtual clock too.
  void UseVirtualClock() {
    link_->hooks.tick = [this] { return clock_; };
  }

  std::string LogText() const {
    std::ifstream in(log_.fileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  bool Logged(const std::string& text) const { return LogText().find(text) != std::string::npos; }

  std::filesystem::path dir_;
  PtyPair pty_;
  LineDevice device_{pty_};
  MessageLog log_;
  std::unique_ptr<DeviceLink> link_;
  int slept_ = 0;
  uint32_t clock_ = 0;
};
