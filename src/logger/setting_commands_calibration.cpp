// The ADC calibration: five slope and offset pairs and a check byte, or a
// single pair on devices that keep only one.
#include <array>

#include "logger/answer_parsers.h"
#include "logger/link_helpers.h"
#include "logger/setting_commands.h"
#include "logger/setting_shape.h"

namespace {

constexpr int kFullCount = 11;
constexpr int kSinglePairCount = 3;
constexpr uint32_t kFactorMax = 254;
constexpr uint8_t kFactorInvalid = 255;

const char* AdcOption(int kind) {
  if (kind == kAdc30) return "-adc30";
  if (kind == kAdc15) return "-adc15";
  return nullptr;
}

// The check byte covers the pairs the device keeps: one pair or all five.
unsigned CheckByte(const PortBytes& slopes, const PortBytes& offsets, bool singlePair) {
  unsigned sum = 0;
  const size_t pairs = singlePair ? 1 : slopes.size();
  for (size_t i = 0; i < pairs; ++i) sum += static_cast<unsigned>(slopes[i]) + offsets[i];
  return sum % 256;
}

// Stores one factor read from the device; 0 and 255 and above are invalid.
bool StoreFactor(uint8_t* into, uint32_t value) {
  if (value == 0) {
    *into = 0;
    return false;
  }
  if (value > kFactorMax) {
    *into = kFactorInvalid;
    return false;
  }
  *into = static_cast<uint8_t>(value);
  return true;
}

int CalibrationFailed(const DeviceLink& link, const char* option, int result, uint32_t start) {
  print_message(link.log, kLogFailure, Tag(link), "ADCcalCommand (%s) failed with error %d (%d ms)", option, result,
                Since(link, start));
  return result;
}

int WriteCalibration(DeviceLink& link, const char* option, const PortBytes& s, const PortBytes& o, bool singlePair,
                     uint32_t start) {
  const unsigned check = CheckByte(s, o, singlePair);
  const std::string command = singlePair ? Format("set %s %u %u %u\r", option, s[0], o[0], check)
                                         : Format("set %s %u %u %u %u %u %u %u %u %u %u %u\r", option, s[0], o[0], s[1],
                                                  o[1], s[2], o[2], s[3], o[3], s[4], o[4], check);
  const int result = SendSetting(link, command, SetAck::kOk, kCalibrationKeep);
  if (result != kLinkOk) return CalibrationFailed(link, option, result, start);
  print_message(link.log, kLogProtocol, Tag(link), "ADCcalCommand set %s %u %u %u %u %u %u %u %u %u %u %u (%d ms)",
                option, s[0], o[0], s[1], o[1], s[2], o[2], s[3], o[3], s[4], o[4], check, Since(link, start));
  return kLinkOk;
}

int ReadCalibration(DeviceLink& link, const char* option, PortBytes& s, PortBytes& o, bool singlePair, uint32_t start) {
  std::string answer;
  const int heard = AskSetting(link, Format("get %s\r", option), kCalibrationKeep, &answer);
  if (heard < 0) return CalibrationFailed(link, option, heard, start);
  std::array<uint32_t, kFullCount> numbers{};
  const int count = ReadUnsignedList(answer, numbers);
  if (count != (singlePair ? kSinglePairCount : kFullCount)) {
    print_message(link.log, kLogProtocol, Tag(link), "ADCcalCommand only found %d of %d cal %s factors (%d ms)", count,
                  kFullCount, option, Since(link, start));
    return CalibrationFailed(link, option, kLinkNotUnderstood, start);
  }
  int result = kLinkOk;
  const size_t pairs = singlePair ? 1 : s.size();
  for (size_t i = 0; i < pairs; ++i) {
    if (!StoreFactor(&s[i], numbers[2 * i])) result = kLinkNothing;
    if (!StoreFactor(&o[i], numbers[2 * i + 1])) result = kLinkNothing;
  }
  const uint32_t checkRead = numbers[2 * pairs];
  if (CheckByte(s, o, singlePair) != checkRead) result = kLinkNothing;
  print_message(link.log, kLogProtocol, Tag(link),
                "ADCcalCommand found (%s) %s %u %u %u %u %u %u %u %u %u %u %u (%d ms)",
                result == kLinkOk ? "valid" : "not valid", option, s[0], o[0], s[1], o[1], s[2], o[2], s[3], o[3], s[4],
                o[4], checkRead, Since(link, start));
  if (result != kLinkOk) return CalibrationFailed(link, option, result, start);
  return kLinkOk;
}

}  // namespace

int ADCcalCommand(DeviceLink& link, int kind, PortBytes* slopes, PortBytes* offsets, int direction) {
  const uint32_t start = Now(link);
  if (!HasCapability(link, kCapAdcCal)) return kLinkNothing;
  const char* option = AdcOption(kind);
  if (option == nullptr) return kLinkInvalid;
  if (slopes == nullptr || offsets == nullptr) return kLinkMissing;
  const bool singlePair = HasCapability(link, kCapAdcSinglePair);
  if (direction == kWrite) return WriteCalibration(link, option, *slopes, *offsets, singlePair, start);
  return ReadCalibration(link, option, *slopes, *offsets, singlePair, start);
}
