#include "report.h"

#include <cstdio>
#include <fstream>

#include "device_models.h"

namespace {

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (uint8_t value : bytes) {
    text.push_back(kDigits[value >> 4]);
    text.push_back(kDigits[value & 0xF]);
  }
  return text;
}

nlohmann::json FirmwareJson(const Device& device) {
  if (!device.identity.found) return nullptr;
  return {{"address", device.identity.address},
          {"tag", device.identity.tag},
          {"version", device.identity.version},
          {"intact", device.identity.intact}};
}

nlohmann::json TrafficJson(const PtyLink& link) {
  nlohmann::json rows = nlohmann::json::array();
  for (const auto& [baud, count] : link.traffic) {
    rows.push_back({{"baud", baud}, {"received", count.received}, {"sent", count.sent}});
  }
  return rows;
}

void AddImage(nlohmann::json& report, const Device& device, const std::vector<TiSegment>& image) {
  const ImageComparison comparison = CompareImage(device.flash, image);
  report["imageMatches"] = comparison.matches;
  report["imageBytesChecked"] = comparison.checked;
  report["imageMismatches"] = comparison.mismatches;
  if (!comparison.matches) {
    report["firstImageMismatch"] = {{"address", comparison.firstAddress},
                                    {"expected", comparison.expected},
                                    {"found", comparison.found}};
  }
}

}  // namespace

nlohmann::json MakeReport(const Device& device, const PtyLink& link, const std::vector<TiSegment>* image) {
  nlohmann::json flash = nlohmann::json::array();
  for (const FlashRun& run : FlashRuns(device.flash, kReportRunGap)) {
    flash.push_back({{"address", run.address}, {"hex", HexBytes(run.bytes)}});
  }
  nlohmann::json vectors = nlohmann::json::array();
  for (int i = 0; i < kVectorCount; ++i) vectors.push_back(FlashWord(device.flash, kVectorTable + 2u * static_cast<uint32_t>(i)));

  nlohmann::json report = {
      {"device", device.model->name},
      {"mode", DeviceModeName(device)},
      {"loaderVersion", device.loader.version},
      {"loaderBaud", device.loader.fixedBaud != 0 ? nlohmann::json(device.loader.fixedBaud) : nlohmann::json("auto")},
      {"firmware", FirmwareJson(device)},
      {"restarts", device.restarts},
      {"vectorsWritten", device.vectorsWritten},
      {"updateFinished", device.updateFinished},
      {"flash", flash},
      {"vectors", vectors},
      {"faults", device.faultLog},
      {"injected", device.faults.fired},
      {"frames", device.loader.frames},
      {"traffic", TrafficJson(link)},
      {"garbledReceived", device.garbledReceived},
      {"garbledSent", device.garbledSent},
      {"wireBoundSeconds", link.wireSeconds},
  };
  if (image) AddImage(report, device, *image);
  device.firmware->Report(report);
  return report;
}

bool WriteReport(const std::string& path, const nlohmann::json& report, std::string& error) {
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    // Texts the report does not pass through ByteText (a command line with any bytes) must not
    // keep it from being written.
    out << report.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    if (!out) {
      error = "cannot write report " + temporary;
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot write report " + path;
    return false;
  }
  return true;
}
