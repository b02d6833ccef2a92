// A command link on the real serial driver against a simulated logger (vornbsl-devsim on a
// pseudo-terminal). The link's sleeps only add up a virtual total, so settling pauses and the
// radio wake sequence cost no time; answer time-outs still run in real time.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "devsim_process.h"
#include "logger/device_link.h"
#include "logger/logger_settings.h"
#include "logger/settings_loop.h"
#include "test_folder.h"

class LoggerSim : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_loggersim_");
    log_ = CreateMessageLog((dir_ / "link.errors.txt").string(), kLogProtocol, true);
    link_ = std::make_unique<DeviceLink>(&log_);
    link_->hooks.sleep = [this](int ms) { slept_ += ms; };
  }

  void TearDown() override {
    link_.reset();
    sim_.reset();
    std::filesystem::remove_all(dir_);
  }

  void StartSim(const std::vector<std::string>& arguments) { sim_ = std::make_unique<DevsimProcess>(arguments); }

  // Tries per command over a cable and over the radio (0 keeps the default).
  void Tries(uint32_t serial, uint32_t radio) {
    LinkConfig config;
    config.serialTries = serial;
    config.radioTries = radio;
    ASSERT_EQ(ConfigureLink(*link_, &config, 1), kLinkOk);
  }

  int ConnectCable(uint8_t baudIndex = kBaudIndex9600) {
    ConnectParams params;
    params.portName = sim_->ptyPath;
    params.connectionType = kConnectionSerial;
    params.baudIndex = baudIndex;
    return ConnectDevice(*link_, &params);
  }

  int ConnectRadio(const std::string& name, bool configure = false, int32_t channel = 0, int32_t subChannel = 0) {
    ConnectParams params;
    params.portName = sim_->ptyPath;
    params.connectionType = kConnectionRadio;
    params.deviceName = name;
    params.configureRadio = configure;
    params.radioChannel = channel;
    params.radioSubChannel = subChannel;
    return ConnectDevice(*link_, &params);
  }

  // Reads the settings a mask selects; the mask comes back as what succeeded.
  int Read(LoggerSettings& record, uint32_t& mask) { return DeviceSettings(*link_, &record, &mask, 0); }

  // One command as another program on the line would send it.
  std::string Send(const std::string& command) {
    std::string answer;
    DeviceCommand(*link_, command, '>', 1500, &answer, 256, nullptr);
    return answer;
  }

  nlohmann::json StopSim() {
    link_.reset();  // disconnects first
    return sim_->Stop();
  }

  bool Logged(const std::string& text) const {
    std::ifstream in(log_.fileName, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str().find(text) != std::string::npos;
  }

  std::filesystem::path dir_;
  MessageLog log_;
  std::unique_ptr<DeviceLink> link_;
  std::unique_ptr<DevsimProcess> sim_;
  long long slept_ = 0;  // virtual milliseconds the link slept
};

// Every setting the mask says was read must equal what the simulated logger stores.
inline void ExpectStored(const LoggerSettings& s, uint32_t mask, const nlohmann::json& stored) {
  const auto expect = [&](uint32_t bit, const char* key, const nlohmann::json& read) {
    if ((mask & bit) != 0 && stored.contains(key)) {
      EXPECT_EQ(read, stored[key]) << key;
    }
  };
  const auto bytes = [](const PortBytes& values) {
    return nlohmann::json(std::vector<int>(values.begin(), values.end()));
  };
  expect(kBitName, "name", s.deviceName);
  expect(kBitSerialNumber, "sn", s.serialNumber);
  expect(kBitDeviceId, "deviceid", s.deviceId);
  expect(kBitSite, "site", s.site);
  expect(kBitLatitude, "lat", s.latitude);
  expect(kBitLongitude, "lon", s.longitude);
  expect(kBitTimeZone, "timezone", s.timeZone);
  expect(kBitWake, "wake", s.wake);
  expect(kBitPadc, "padc", s.padc);
  expect(kBitPorts, "ports", bytes(s.ports));
  expect(kBitDepths, "depth", bytes(s.depths));
  expect(kBitReport, "report", s.report);
  expect(kBitDataParameter, "data", s.dataParameter);
  expect(kBitRmode, "rmode", s.rmode);
  expect(kBitTrait, "trait", s.trait & 0xFFu);  // the host adds the validity bit
  expect(kBitVornBuild, "VornBuild", s.vornBuild);
  expect(kBitAdc30, "ADC30 slopes", bytes(s.adc30Slopes));
  expect(kBitAdc30, "ADC30 offsets", bytes(s.adc30Offsets));
  expect(kBitAdc15, "ADC15 slopes", bytes(s.adc15Slopes));
  expect(kBitAdc15, "ADC15 offsets", bytes(s.adc15Offsets));
  expect(kBitApn, "apn", s.apn);
  expect(kBitApnUser, "user", s.apnUser);
  expect(kBitApnPassword, "passwd", s.apnPassword);
  expect(kBitAuthKey, "authkey", s.authKey);
  expect(kBitHost, "host", s.host);
  expect(kBitIpPort, "ipport", s.ipPort);
  expect(kBitRadioChannel, "rch", s.radioChannel);
  expect(kBitRadioSubChannel, "rsch", s.radioSubChannel);
}

// How many times a command line reached the simulated logger.
inline int Heard(const nlohmann::json& report, const std::string& command) {
  int count = 0;
  for (const auto& line : report["commands"]) count += line.get<std::string>() == command;
  return count;
}
