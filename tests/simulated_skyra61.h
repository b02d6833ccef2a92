// The SKYRA 61 that vornbsl-devsim simulates (sim/sdi_sensor_model.cpp): its type code,
// its factory settings and the sensor build's image for it.
#pragma once

#include <cstdint>
#include <string>

const std::string kSkyra61ImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/SKYRA61 1.50.txt";
constexpr uint32_t kSkyra61 = 93;
constexpr const char* kX4 = "0.0012 1.0034 -0.52 25.0";
constexpr const char* kXa = "1 1.02 0.98 1.00 1.01";
constexpr const char* kXO = "0 0 0.25 0.5";
constexpr const char* kSerial = "S61-004211";
