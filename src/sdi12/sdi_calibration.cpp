// The calibration strings X4, Xa and XO: reading them with the default rules
// of the K7W, K7V and HB7 firmware generations, writing them back, and the
// conversion of the old DG7 and HTK form.
#include "logger/link_helpers.h"
#include "sdi12/sdi_answers.h"
#include "sdi12/sdi_link.h"
#include "sdi12/sdi_sensor.h"

namespace {

constexpr int kAttentionTries = 3;
constexpr uint32_t kConvertBelowVersion = 340;
constexpr std::string_view kXaReadTypes = "ylkwhgzx\\]";
constexpr std::string_view kXbWriteTypes = "ywkhgzx\\]";  // a WPX-8 ('l') reads Xa but never takes it back

bool IsType(const SDISensor& sensor, std::string_view types) {
  return sensor.sensorType != 0 && types.find(static_cast<char>(sensor.sensorType)) != std::string_view::npos;
}

// A calibration read from the sensor the capture found: numbers, or its refusal.
SDIAnswerShape CalibrationFrom(char address) {
  return [address](std::string_view reply) { return SDIFrom(reply, address) && SDICalibrationShaped(reply); };
}

bool MarksUnusedTerms(const SDISensor& sensor) {
  return sensor.sensorType == kSensorK7W || sensor.sensorType == kSensorK7V;
}

// "?!" until somebody answers; the read goes on even when nobody does.
void Attention(SDISensor& sensor) {
  int result = 0;
  for (int i = 0; i < kAttentionTries; ++i) {
    std::string reply;
    result = SDIExchange(sensor, "?!", &reply);
    if (result > 0) return;
  }
  print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorCalibration \"attention sequence\" received error %i",
                result);
}

int ReadX4(SDISensor& sensor) {
  std::string reply;
  int result = SDIExchange(sensor, "?X4!", &reply, CalibrationFrom(sensor.address));
  if (result >= 0 && SDIRefused(reply)) result = kSDIErrorAnswer;
  if (result < 0) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorCalibration received error %i looking for X4",
                  result);
    return result;
  }
  if (MarksUnusedTerms(sensor) && ClearMinusOnes(reply)) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorCalibration updated X4 to remove '-1'");
  }
  sensor.calibrationX4 = Bounded(SDIAnswerText(reply), kSDICalibrationMax);
  print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorCalibration found calibration X4 \"%s\"",
                sensor.calibrationX4.c_str());
  return kSDIOk;
}

// Xa, with a firmware generation's default where the sensor's own cannot be used.
int ReadXa(SDISensor& sensor) {
  std::string reply;
  int result = SDIExchange(sensor, "?Xa!", &reply, CalibrationFrom(sensor.address));
  if (result >= 0 && SDIRefused(reply)) {
    result = kSDIErrorAnswer;
    reply.clear();  // a refusal is no calibration
  }
  if (result < 0) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorCalibration received error %i looking for Xa",
                  result);
    if (sensor.sensorType == kSensorWpx4) return result;
  }
  const std::optional<std::string_view> substitute = XaDefault(sensor.sensorType, sensor.version, reply, result < 0);
  if (substitute) reply = std::string(*substitute);
  sensor.calibrationXa = Bounded(SDIAnswerText(reply), kSDICalibrationMax);
  print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorCalibration %s calibration Xa \"%s\"",
                substitute ? "set" : "found", sensor.calibrationXa.c_str());
  return kSDIOk;
}

void ReadXO(SDISensor& sensor) {
  std::string reply;
  const int result = SDIExchange(sensor, "?XO!", &reply, CalibrationFrom(sensor.address));
  sensor.xoPresent = false;
  if (result < 0) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorCalibration received error %i looking for XO",
                  result);
    return;
  }
  if (SDIContains(reply, "ERROR")) {
    print_message(sensor.log, kLogProtocol, kSDITag,
                  "SDIGetSensorCalibration received \"ERROR\" response looking for XO");
    return;
  }
  sensor.xoPresent = true;
  sensor.calibrationXO = Bounded(SDIAnswerText(reply), kSDICalibrationMax);
  print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorCalibration found calibration XO \"%s\"",
                sensor.calibrationXO.c_str());
}

// What a capture would now read from the answer to a calibration read.
std::string CapturedText(const SDISensor& sensor, std::string_view readCommand, std::string_view reply) {
  std::string text(reply);
  if (readCommand == "?X4!" && MarksUnusedTerms(sensor)) ClearMinusOnes(text);
  return Bounded(SDIAnswerText(text), kSDICalibrationMax);
}

// One calibration write with its retries and its read-back; the step's result. The value read
// back counts as written when it is the same at the precision the sensor prints.
int WriteCalibration(SDISensor& sensor, const char* name, const std::string& prefix, std::string_view readCommand,
                     const std::string& text) {
  const SDIReadBack readBack{readCommand, SDICalibrationShaped,
                             [&sensor, readCommand, &text](std::string_view reply) {
                               return SDISameCalibration(text, CapturedText(sensor, readCommand, reply));
                             }};
  const SDIWriteOutcome outcome = SDIConfirmedWrite(sensor, prefix + text + "!", &readBack);
  if (outcome.result == kSDIOk) {
    print_message(sensor.log, kLogProtocol, kSDITag,
                  "SDISetSensorCalibration successfully set sensor %s calibration to \"%s\"", name, text.c_str());
  }
  if (outcome.exchange < 0) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorCalibration received error %i for %s",
                  outcome.exchange, name);
  }
  return outcome.result;
}

// A second or third calibration that was never read (or read empty) is not written: the write
// could only clear what the sensor holds, and "?XO!" with nothing in it is the read itself.
int WriteKept(SDISensor& sensor, const char* name, const std::string& prefix, std::string_view readCommand,
              const std::string& text) {
  if (text.empty()) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorCalibration has no %s calibration to write", name);
    return kSDINothing;
  }
  return WriteCalibration(sensor, name, prefix, readCommand, text);
}

}  // namespace

int SDIGetSensorCalibration(SDISensor& sensor) {
  if (sensor.sensorType == kSensorPl3) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorCalibration no calibration for version PL-3");
    return kSDINothing;
  }
  Attention(sensor);
  int result = ReadX4(sensor);
  if (result < 0) return result;
  if (IsType(sensor, kXaReadTypes)) {
    result = ReadXa(sensor);
    if (result < 0) return result;
  }
  if (sensor.sensorType == kSensorSkyra61) ReadXO(sensor);
  return kSDIOk;
}

int SDISetSensorCalibration(SDISensor& sensor, const std::string* x4) {
  if (sensor.sensorType == kSensorPl3) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorCalibration skipped PL-3");
    return kSDINothing;
  }
  const std::string text = x4 != nullptr ? *x4 : sensor.calibrationX4;
  if (text.empty()) {
    print_message(sensor.log, kLogProtocol, kSDITag,
                  "SDISetSensorCalibration doesn't have a valid X5 calibration string");
    return kSDINothing;
  }
  // A later write's success does not hide an earlier write's failure.
  int result = WriteCalibration(sensor, "X5", "?X5", "?X4!", text);
  if (IsType(sensor, kXbWriteTypes)) {
    result = SDIWorse(result, WriteKept(sensor, "Xb", "?Xb", "?Xa!", sensor.calibrationXa));
  }
  if (sensor.sensorType == kSensorSkyra61 && sensor.xoPresent) {
    result = SDIWorse(result, WriteKept(sensor, "XO", "?XO", "?XO!", sensor.calibrationXO));
  }
  if (result != kSDIOk) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorCalibration did not set sensor calibration");
  }
  return result;
}

int SDIConvertCalibration(SDISensor& sensor) {
  if (sensor.version >= kConvertBelowVersion) return kSDINothing;
  sensor.calibrationX4 = ConvertedCalibration(sensor.calibrationX4);
  return kSDIOk;
}
