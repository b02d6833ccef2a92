#include "web/version_finder_path.h"

#include "bsl/device_types.h"

std::string VersionFinderPath(int deviceType) {
  return deviceType == kDeviceTypeTGX ? "/versionfinder/TGXFirmware.txt" : "";
}
