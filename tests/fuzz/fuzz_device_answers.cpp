// What devices answer on the wire: the loggers' command line (version line,
// "show", setting values), the instruments' identity line, SDI-12 replies and
// the resident loader's replies. The first byte picks the reader; the rest is
// the answer.
#include <array>
#include <cmath>
#include <string>

#include "bsl/device_profile.h"
#include "bsl/host_bsl.h"
#include "fuzz_entry.h"
#include "logger/answer_parsers.h"
#include "logger/logger_settings.h"
#include "sdi12/sdi_answers.h"

namespace {

constexpr size_t kTextMax = 64;
constexpr size_t kSdiIdentityMax = 36;
constexpr size_t kSdiSerialMax = 32;
constexpr size_t kVersionLineMax = 20;

void LoggerNumbers(std::string_view answer) {
  if (const auto real = ReadRealAnswer(answer)) FUZZ_CHECK(std::isfinite(*real));
  ReadIntegerAnswer(answer);
  ReadIntegerAfterReturn(answer);
  ReadHexAnswer(answer);
  std::array<int32_t, 5> signedValues{};
  std::array<uint32_t, 5> unsignedValues{};
  const int signedCount = ReadIntegerList(answer, signedValues);
  const int unsignedCount = ReadUnsignedList(answer, unsignedValues);
  FUZZ_CHECK(signedCount >= 0 && signedCount <= 5 && unsignedCount >= 0 && unsignedCount <= 5);
}

void LoggerTexts(std::string_view answer) {
  const TextAnswer text = ReadTextAnswer(answer, kTextMax);
  FUZZ_CHECK(text.text.size() <= kTextMax);
  FUZZ_CHECK(ReadLineAfterReturn(answer, kTextMax).size() <= kTextMax);
  if (const auto word = ReadWordAfterReturn(answer, kTextMax)) FUZZ_CHECK(word->size() <= kTextMax);
  if (const auto word = ReadWordAnswer(answer, kTextMax)) FUZZ_CHECK(word->size() <= kTextMax);
  const std::string_view radio = RadioValueText(answer);
  FUZZ_CHECK(radio.empty() || (radio.data() >= answer.data() && radio.data() + radio.size() <= answer.data() + answer.size()));
}

void LoggerIdentity(std::string_view answer) {
  const VersionLine line = ParseVersionLine(answer);
  FUZZ_CHECK(line.text.size() <= kVersionLineMax);
  DeviceClassRow(FindDeviceClass(line.tag));
  ParseVersionNumber(answer);
  const ShowAnswer show = ParseShowAnswer(answer);
  if (show.name) FUZZ_CHECK(show.hasName);
  DeviceDate date;
  const int fields = ParseDeviceDate(answer, &date);
  FUZZ_CHECK(fields >= 0 && fields <= 6);
}

void InstrumentIdentity(std::string_view answer) {
  const std::string text(answer);  // read as a C text, up to its first NUL
  DeviceProfile profile;
  const int result = ParseIdentity(text.c_str(), &profile);
  FUZZ_CHECK(result == 1 || result == kIdentityMissing || result == kIdentityUnreadable);
}

void SdiReplies(std::string_view reply) {
  const SDIIdentityAnswer identity = ReadIdentityAnswer(reply);
  FUZZ_CHECK(identity.identity.size() <= kSdiIdentityMax);
  ReadTypeAnswer(reply);
  if (const auto serial = ReadSerialAnswer(reply)) FUZZ_CHECK(serial->size() <= kSdiSerialMax);
  std::string cleared(reply);
  ClearMinusOnes(cleared);
  ConvertedCalibration(reply);
  SDIAnswerText(reply);
}

void SdiCalibration(std::string_view input) {
  if (input.size() < 3) return;
  const auto type = static_cast<uint8_t>(input[0]);
  const uint32_t version = static_cast<uint8_t>(input[1]) * 2u;
  const bool failed = (static_cast<uint8_t>(input[2]) & 1) != 0;
  XaDefault(type, version, input.substr(3), failed);
}

void LoaderReplies(std::string_view reply) {
  const int classified = BSLClassifyReply(reply);
  FUZZ_CHECK(classified == kBslRejected || classified == kBslNotConnected ||
             classified == static_cast<int>(reply.size()));
  long version = 0;
  BSLReadVersion(std::string(reply), &version);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view answer = AsText(data + 1, size - 1);
  switch (data[0] % 7) {
    case 0: LoggerNumbers(answer); break;
    case 1: LoggerTexts(answer); break;
    case 2: LoggerIdentity(answer); break;
    case 3: InstrumentIdentity(answer); break;
    case 4: SdiReplies(answer); break;
    case 5: SdiCalibration(answer); break;
    default: LoaderReplies(answer); break;
  }
  return 0;
}
