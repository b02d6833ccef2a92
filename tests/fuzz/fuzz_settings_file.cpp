// Settings files as the updater reads them back after an update: the key
// readers on their own, then the whole file for a device of any kind.
//
// Input: one byte for the device kind, one for the key's length, the key,
// then the file text.
#include <memory>
#include <string>

#include "bsl/device_types.h"
#include "fuzz_entry.h"
#include "instrument/device_kinds.h"
#include "instrument/instrument_link.h"
#include "instrument/settings_file.h"

namespace {

constexpr size_t kKeyLengthMax = 16;
constexpr size_t kKeepMax = 600;

void ReadOneKey(std::string_view text, std::string_view key, size_t keep) {
  std::string value = "old";
  if (ReadKeyText(text, key, &value, keep)) {
    FUZZ_CHECK(!value.empty() && value.size() < keep);
    FUZZ_CHECK(HasKey(text, key));
  } else {
    FUZZ_CHECK(value.empty());  // emptied first, found or not
  }
  long number = 0;
  if (ReadKeyNumber(text, key, &number)) FUZZ_CHECK(HasKey(text, key));
  double real = 0;
  if (ReadKeyReal(text, key, &real)) FUZZ_CHECK(HasKey(text, key));
}

// The class name a logger's capture stores: the file's type line, which the reader does not set.
std::string_view LoggerClassName(int kind) {
  switch (kind) {
    case kKindLg2b: return "Lg2b";
    case kKindFieldHub: return "FieldHub";
    case 18: return "vQ7";
    case kKindQrl: return "QRL2";
    default: return "Lg20";
  }
}

// The file the writer makes of what the reader read, as a capture would hold it.
std::string ReadAndWrite(uint8_t kind, std::string_view text) {
  auto link = std::make_unique<InstrumentLink>(nullptr);
  link->kind = kind;
  ReadInfoText(*link, text);
  if (IsLoggerKind(kind)) link->settings.className = LoggerClassName(kind);
  return SettingsFileText(*link);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = AsText(data, size);
  if (input.size() < 2) return 0;
  const auto kind = static_cast<uint8_t>(static_cast<uint8_t>(input[0]) % (kDeviceTypeLast + 2));
  const size_t keyLength = static_cast<uint8_t>(input[1]) % (kKeyLengthMax + 1);
  input.remove_prefix(2);
  const std::string_view key = input.substr(0, keyLength);
  const std::string_view text = input.substr(key.size());

  ReadOneKey(text, key, 1 + (size + keyLength) % kKeepMax);

  // Whatever the reader made of the text, the writer's file of it must read
  // back to the same settings. (The first writing may still change on reading:
  // a file without a valid trait gains the radio trait from its radio lines.)
  const std::string once = ReadAndWrite(kind, text);
  const std::string twice = ReadAndWrite(kind, once);
  FUZZ_CHECK(ReadAndWrite(kind, twice) == twice);
  return 0;
}
