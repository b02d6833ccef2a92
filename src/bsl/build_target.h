// What the build is made for, beside the image itself. A second build target
// overrides these with compile definitions.
#pragma once

#include <cstdint>

#ifndef VORN_BUILD_SENSOR_TYPE
#define VORN_BUILD_SENSOR_TYPE 93
#endif
#ifndef VORN_BUILD_IMAGE_VERSION
#define VORN_BUILD_IMAGE_VERSION 150
#endif

// The SDI-12 sensor type the build's digital-sensor image is for.
constexpr uint32_t kBuildSensorType = VORN_BUILD_SENSOR_TYPE;
// The version of the build's image, in hundredths.
constexpr uint32_t kBuildImageVersion = VORN_BUILD_IMAGE_VERSION;
