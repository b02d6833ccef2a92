// The settings file: the key readers, the layout of each family byte for byte,
// reading a file back into a fresh link, and the faults the file must not have.
#include "instrument/settings_file.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "instrument/instrument_link.h"
#include "instrument/instrument_settings.h"
#include "sdi12/sdi_sensor.h"
#include "test_folder.h"

namespace {

const std::string kHeader(kSettingsFileHeader);

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = FreshTestFolder("vorn_settings_");
    path_ = (dir_ / "TGX.settings.txt").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& text) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << text;
  }
  // A link that has connected to a device of this kind and read nothing yet.
  static std::unique_ptr<InstrumentLink> Fresh(uint8_t kind) {
    auto link = std::make_unique<InstrumentLink>(nullptr);
    link->kind = kind;
    return link;
  }

  std::filesystem::path dir_;
  std::string path_;
};

std::filesystem::path Utf8Path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text = kHeader;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

TEST(SettingsKeys, FindsValuesTheWayTheFileHoldsThem) {
  const std::string text = kHeader + "name=\"data7\"\r\ndata=\"12\"\r\nsite=\"" + std::string(30, 'S') +
                           "\"\r\nlat=\"+46.50000\"\r\nempty=\"\"\r\nnote=\"say \"\"hi\"\" twice\"\r\nwake=\"x\"\r\n" +
                           "odd key text=\"5\"\r\n";
  long number = -1;
  ASSERT_TRUE(ReadKeyNumber(text, "data", &number));
  EXPECT_EQ(number, 12) << "a key inside another line's value is not the key";
  std::string value;
  EXPECT_TRUE(ReadKeyText(text, "site", &value, 26));
  EXPECT_EQ(value, std::string(25, 'S')) << "n - 1 characters are kept";
  double real = 0;
  ASSERT_TRUE(ReadKeyReal(text, "lat", &real));
  EXPECT_DOUBLE_EQ(real, 46.5);
  EXPECT_FALSE(ReadKeyText(text, "empty", &value, 10)) << "an empty value is not found";
  EXPECT_TRUE(ReadKeyNumber(text, "empty", &number));
  EXPECT_EQ(number, 0) << "found whenever the quote is there; no digits read as 0";
  ASSERT_TRUE(ReadKeyNumber(text, "wake", &number));
  EXPECT_EQ(number, 0);
  EXPECT_TRUE(ReadKeyText(text, "note", &value, 64));
  EXPECT_EQ(value, "say \"hi\" twice");
  EXPECT_TRUE(ReadKeyText(text, "key text", &value, 8)) << "a key that begins no line is still found anywhere";
  EXPECT_EQ(value, "5");
  EXPECT_FALSE(ReadKeyText(text, "absent", &value, 8));
  EXPECT_FALSE(ReadKeyNumber(text, "absent", &number));
  EXPECT_FALSE(ReadKeyNumber("tail=", "tail", &number)) << "no quote after the key: absent";
}

TEST_F(SettingsFile, TgxLayoutIsTheInstrumentLayoutWithItsUserRecords) {
  auto link = Fresh(16);
  InstrumentSettings& s = *link->info;
  s.serialNumber = "TGX-1";
  s.config = "3 1";
  s.fvals = "2.1";
  s.uvals = "0.5";
  s.calprefs = "1 0";
  s.tadj = "-0.35";
  link->userRecords->records = {{"", "QUJD"}, {"", "REVG"}, {"", ""}, {"", "R0hJ"}};
  ASSERT_EQ(WriteInfoFile(*link, path_), 1);
  EXPECT_EQ(Read(path_), Lines({"type=\"TGX\"", "name=\"\"", "sn=\"TGX-1\"", "lang=\"0\"", "VornBuild=\"\"",
                                "contr=\"0\"", "config=\"3 1\"", "fvals=\"2.1\"", "uvals=\"0.5\"", "units=\"0\"",
                                "adc=\"\"", "adccal=\"\"", "calprefs=\"1 0\"", "FXUnits=\"\"", "sample=\"\"",
                                "usage=\"\"", "adc15=\"\"", "adc30=\"\"", "location=\"\"", "chai=\"\"", "extCal=\"\"",
                                "tadj=\"-0.35\"", "tau=\"0\"", "hadj=\"\"", "user00=\"QUJD\"", "user01=\"REVG\""}))
      << "records stop at the first empty text";
}

TEST_F(SettingsFile, LoggerLayoutWritesEveryLineAndTheOptionalOnesByTheirBits) {
  auto link = Fresh(3);
  LoggerSettings& s = link->settings;
  s.className = "Lg20";
  s.deviceName = "FIELD1";
  s.serialNumber = "20-4411";
  s.trait = 0x4001;
  s.wake = 30;
  s.padc = 2;
  s.ports = {1, 2, 3, 4, 5};
  s.depths = {10, 20, 30, 40, 50};
  s.adc15Slopes = {100, 101, 102, 103, 104};
  s.adc15Offsets = {7, 8, 9, 10, 11};
  s.site = "North";
  s.latitude = 46.5;
  s.longitude = -122.25;
  s.timeZone = -32;
  s.report = 15;
  s.ipPort = 8080;
  s.present = kBitAdc15;
  ASSERT_EQ(WriteInfoFile(*link, path_), 1);
  const std::string expected =
      Lines({"type=\"Lg20\"", "deviceid=\"\"", "name=\"FIELD1\"", "sn=\"20-4411\"", "trait=\"16385\"", "wake=\"30\"",
             "padc=\"2\"", "ports=\"1 2 3 4 5\"", "depth=\"10 20 30 40 50\"", "ADC15 slopes=\"100 101 102 103 104\"",
             "ADC15 offsets=\"7 8 9 10 11\"", "rmode=\"0\"", "rch=\"0\"", "rsch=\"0\"", "data=\"0\"", "site=\"North\"",
             "lat=\"+46.50000\"", "lon=\"-122.25000\"", "timezone=\"-32\"", "report=\"15\"", "apn=\"\"", "user=\"\"",
             "passwd=\"\"", "host=\"\"", "authkey=\"\"", "ipport=\"8080\""});
  EXPECT_EQ(Read(path_), expected);

  s.present = kBitAdc30 | kBitVornBuild;
  s.vornBuild = "B7";
  ASSERT_EQ(WriteInfoFile(*link, path_), 1);
  const std::string text = Read(path_);
  EXPECT_EQ(text.find("ADC15"), std::string::npos);
  EXPECT_NE(text.find("depth=\"10 20 30 40 50\"\r\nADC30 slopes=\"0 0 0 0 0\"\r\nADC30 offsets=\"0 0 0 0 0\"\r\nrmode="),
            std::string::npos);
  EXPECT_TRUE(text.ends_with("ipport=\"8080\"\r\nVornBuild=\"B7\"\r\n"));
}

TEST_F(SettingsFile, DigitalSensorLayoutAndItsReadBack) {
  auto link = Fresh(10);
  SDISensor& sensor = *link->sdi;
  sensor.identity = "13TESSALY SKY61 140";
  sensor.address = '3';
  sensor.calibrationX4 = "0.0012 1.0034";
  sensor.calibrationXa = "1 1.02 0.98";
  sensor.calibrationXO = "0 0 0.25";
  sensor.xoPresent = true;
  sensor.serialNumber = "S61-004211";
  sensor.sensorType = ']';
  ASSERT_EQ(WriteInfoFile(*link, path_), 1);
  EXPECT_EQ(Read(path_), Lines({"type=\"Digital Sensor\"", "identity=\"13TESSALY SKY61 140\"", "address=\"3\"",
                                "addressInt=\"51\"", "calibration=\"0.0012 1.0034\"", "calibration2=\"1 1.02 0.98\"",
                                "sn=\"S61-004211\"", "sensorType=\"93\"", "calibration3=\"0 0 0.25\""}));

  auto fresh = Fresh(10);
  ASSERT_EQ(ReadInfoFile(*fresh, path_), 1);
  const SDISensor& read = *fresh->sdi;
  EXPECT_EQ(read.address, '3');
  EXPECT_EQ(read.calibrationX4, sensor.calibrationX4);
  EXPECT_EQ(read.calibrationXa, sensor.calibrationXa);
  EXPECT_EQ(read.calibrationXO, sensor.calibrationXO);
  EXPECT_TRUE(read.xoPresent);
  EXPECT_EQ(read.serialNumber, sensor.serialNumber);
  EXPECT_EQ(read.sensorType, ']') << "without it the restore would not write Xa and XO back";

  sensor.xoPresent = false;
  ASSERT_EQ(WriteInfoFile(*link, path_), 1);
  EXPECT_TRUE(Read(path_).ends_with("sn=\"S61-004211\"\r\nsensorType=\"93\"\r\n"));
  auto again = Fresh(10);
  ASSERT_EQ(ReadInfoFile(*again, path_), 1);
  EXPECT_FALSE(again->sdi->xoPresent);
}

TEST_F(SettingsFile, CalibrationSlotLinesOfFieldrexAndM2V) {
  auto fx = Fresh(14);
  fx->info->slots[0] = "1.5";
  fx->info->slots[1] = "2.5";
  fx->info->slots[3] = "after a gap";
  ASSERT_EQ(WriteInfoFile(*fx, path_), 1);
  EXPECT_TRUE(Read(path_).ends_with("hadj=\"\"\r\ncal00=\"1.5\"\r\ncal01=\"2.5\"\r\n"));

  // Only the slots that were read: an empty line would have the restore write an empty value.
  auto mq2v = Fresh(22);
  mq2v->info->slots[1] = "0.97";
  ASSERT_EQ(WriteInfoFile(*mq2v, path_), 1);
  EXPECT_TRUE(Read(path_).ends_with("hadj=\"\"\r\ncal02=\"0.97\"\r\n"));

  // Files of earlier versions carry every slot; the empty ones stay unread.
  Write(Lines({"type=\"MQ2V\"", "cal01=\"\"", "cal02=\"0.97\"", "cal03=\"\""}));
  auto older = Fresh(22);
  ASSERT_EQ(ReadInfoFile(*older, path_), 1);
  EXPECT_EQ(older->info->slots, mq2v->info->slots);
}

// What a file written for one link gives a fresh link of the same kind.
class ReadBack : public SettingsFile {
 protected:
  InstrumentLink& RoundTrip(InstrumentLink& writer) {
    EXPECT_EQ(WriteInfoFile(writer, path_), 1);
    reader_ = Fresh(writer.kind);
    EXPECT_EQ(ReadInfoFile(*reader_, path_), 1) << Read(path_);
    return *reader_;
  }
  std::unique_ptr<InstrumentLink> reader_;
};

TEST_F(ReadBack, QrlFilesCarryTheirOwnClassName) {
  auto link = Fresh(19);
  link->settings.className = "QRL2";
  link->settings.deviceName = "QRL7";
  link->settings.serialNumber = "Q-100";
  InstrumentLink& read = RoundTrip(*link);
  EXPECT_EQ(read.settings.deviceName, "QRL7");
  EXPECT_EQ(read.settings.serialNumber, "Q-100");
  EXPECT_EQ(read.savedMask & (kBitName | kBitSerialNumber), kBitName | kBitSerialNumber);

  Write(Lines({"type=\"Lg20\"", "name=\"OLDQ\""}));
  auto older = Fresh(19);
  ASSERT_EQ(ReadInfoFile(*older, path_), 1) << "earlier files carried the Lg20 class name";
  EXPECT_EQ(older->settings.deviceName, "OLDQ");
  auto lg20 = Fresh(3);
  Write(Lines({"type=\"QRL2\"", "name=\"X\""}));
  EXPECT_EQ(ReadInfoFile(*lg20, path_), -30) << "a QRL2 file is not an Lg20's";
}

// A device's text may hold a line break followed by what looks like another
// key's line; the written file must still give every value back whole.
TEST_F(ReadBack, AValueHoldingAnotherKeysLineDoesNotStandInForIt) {
  auto link = Fresh(3);
  link->settings.className = "Lg20";
  link->settings.trait = kTraitValid | kTraitCellular;
  link->settings.apnUser = "u\r\npasswd=";
  link->settings.apnPassword = "\r\npasswd=\"\r\nhost=\"";
  link->settings.site = "by the VornBuild";
  InstrumentLink& read = RoundTrip(*link);
  EXPECT_EQ(read.settings.apnUser, link->settings.apnUser);
  EXPECT_EQ(read.settings.apnPassword, link->settings.apnPassword);
  EXPECT_EQ(read.settings.host, "");
  EXPECT_EQ(read.savedMask & kBitVornBuild, 0u) << "the key is absent; a value naming it is no key";
  EXPECT_EQ(read.settings.site, "by the VornBuild");

  const std::string text = kHeader + "note=\"a\r\nsn=\"\"X\"\"\"\r\nsn=\"S-1\"\r\nodd key=\"5\"\r\n";
  std::string value;
  EXPECT_TRUE(ReadKeyText(text, "sn", &value, 16));
  EXPECT_EQ(value, "S-1");
  EXPECT_TRUE(ReadKeyText(text, "key", &value, 16)) << "a key beginning no line is still found outside the values";
  EXPECT_EQ(value, "5");
}

TEST_F(ReadBack, RadioLinesGiveARadioOnlyToALoggerThatHasOne) {
  auto link = Fresh(3);
  link->settings.className = "Lg20";
  link->settings.trait = kTraitValid | kTraitCellular;
  InstrumentLink& read = RoundTrip(*link);
  EXPECT_EQ(read.settings.trait, kTraitValid | kTraitCellular) << "the written rsch line adds no radio";
  EXPECT_EQ(read.savedMask & (kBitRadioChannel | kBitRadioSubChannel), 0u);

  link->settings.trait = kTraitValid | kTraitRadio;
  link->settings.radioChannel = 3;
  link->settings.radioSubChannel = 0x7A01;
  InstrumentLink& radio = RoundTrip(*link);
  EXPECT_EQ(radio.settings.radioSubChannel, 0x7A01);
  EXPECT_EQ(radio.savedMask & (kBitRadioChannel | kBitRadioSubChannel), kBitRadioChannel | kBitRadioSubChannel);

  Write(Lines({"type=\"Lg20\"", "rch=\"2\"", "rsch=\"5\""}));
  auto older = Fresh(3);
  ASSERT_EQ(ReadInfoFile(*older, path_), 1);
  EXPECT_EQ(older->settings.trait, kTraitValid | kTraitRadio) << "without a trait line the radio lines count";
}

TEST_F(ReadBack, CellularLinesGoOnlyToAnLg20WithTheModem) {
  constexpr uint32_t kCellular = kBitApn | kBitApnUser | kBitApnPassword | kBitHost | kBitAuthKey | kBitIpPort;
  struct Case {
    uint8_t kind;
    const char* className;
    uint32_t trait;
    uint32_t cellularBits;
  };
  const Case cases[] = {
      {3, "Lg20", kTraitValid | kTraitCellular, kCellular},
      {3, "Lg20", kTraitValid, 0},     // no modem: ipport="0" made every restore end in -35
      {18, "vQ7", kTraitValid | kTraitRadio | kTraitCellular, 0},  // only the Lg20 takes them
      {3, "Lg20", 0, 0},               // no valid trait word: the commands would refuse them
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.kind) + " trait " + std::to_string(c.trait));
    auto link = Fresh(c.kind);
    link->settings.className = c.className;
    link->settings.trait = c.trait;
    link->settings.apn = "apn.example";
    link->settings.apnUser = "u";
    link->settings.apnPassword = "p";
    link->settings.host = "h.example";
    link->settings.authKey = "00112233445566778899AABBCCDDEEFF";
    InstrumentLink& read = RoundTrip(*link);
    EXPECT_EQ(read.savedMask & kCellular, c.cellularBits);
  }

  Write(Lines({"type=\"Lg20\"", "trait=\"0\"", "name=\"L\""}));
  auto invalid = Fresh(3);
  ASSERT_EQ(ReadInfoFile(*invalid, path_), 1);
  EXPECT_EQ(invalid->savedMask & kBitTrait, 0u) << "a trait word that is not valid cannot be written back";
}

TEST_F(ReadBack, ALoggerFileSaysWhichOfItsLinesTheCaptureGot) {
  auto link = Fresh(3);
  link->settings.className = "Lg20";
  link->settings.deviceName = "L7";
  link->settings.wake = 0;  // its read failed: the line still says 0
  link->settingsSaved = true;
  link->savedMask = kBitVersion | kBitName | kBitSite;
  link->settings.site = "Weir";
  InstrumentLink& read = RoundTrip(*link);
  EXPECT_TRUE(Read(path_).ends_with("ipport=\"0\"\r\ncaptured=\"16389\"\r\n"));
  EXPECT_EQ(read.savedMask, kBitName | kBitSite) << "no 0 written over the device's wake interval";

  link->settingsSaved = false;  // a file of an earlier version: every line counts
  InstrumentLink& older = RoundTrip(*link);
  EXPECT_EQ(Read(path_).find("captured"), std::string::npos);
  EXPECT_NE(older.savedMask & kBitWake, 0u);
}

TEST_F(ReadBack, UlmoValuesBeyondTheLayoutAndFilesWithoutThem) {
  auto link = Fresh(11);
  InstrumentSettings& s = *link->info;
  s.serialNumber = "U-17";
  s.wtoffset = "-0.012";
  s.sys = "A3 \xB5S";
  s.present = kInstSerialNumber | kInstWtOffset | kInstSys;
  s.p1offset = "not captured";
  InstrumentLink& read = RoundTrip(*link);
  EXPECT_TRUE(Read(path_).ends_with("hadj=\"\"\r\nwtoffset=\"-0.012\"\r\nsys=\"A3 \xB5S\"\r\n"))
      << "a line only for what was captured";
  EXPECT_EQ(read.info->present, kInstSerialNumber | kInstWtOffset | kInstSys);
  EXPECT_EQ(read.info->sys, "A3 \xB5S");

  Write(Lines({"type=\"ULMO\"", "sn=\"OLD-2\"", "adccal=\"1 2 3\""}));
  auto older = Fresh(11);
  ASSERT_EQ(ReadInfoFile(*older, path_), 1);
  EXPECT_EQ(older->info->present, kInstSerialNumber | kInstAdcCal);
}

TEST_F(ReadBack, StomexFilesWrittenWithTheirTagReadBack) {
  auto link = Fresh(9);
  link->info->serialNumber = "ST-7";
  link->info->contrast = 4;
  link->info->units = 2;
  link->info->fvals = "1 2 3";
  InstrumentLink& read = RoundTrip(*link);
  EXPECT_EQ(read.info->serialNumber, "ST-7");
  EXPECT_EQ(read.info->contrast, 4);
  EXPECT_EQ(read.info->units, 2);
  EXPECT_EQ(read.info->fvals, "1 2 3");
  EXPECT_EQ(read.info->present, kInstSerialNumber | kInstContrast | kInstUnits | kInstFvals);

  Write(Lines({"type=\"RQ\"", "sn=\"OLD-1\""}));
  auto older = Fresh(9);
  ASSERT_EQ(ReadInfoFile(*older, path_), 1) << "the earlier literal is still read";
  EXPECT_EQ(older->info->serialNumber, "OLD-1");
}

TEST_F(ReadBack, Lg2bPortsComeFromThePortsLineWhenThereAreNoPortKeys) {
  auto link = Fresh(2);
  link->settings.className = "Lg2b";
  link->settings.ports = {3, 0, 7, 1, 0};
  InstrumentLink& read = RoundTrip(*link);
  EXPECT_EQ(read.settings.ports, (PortBytes{3, 0, 7, 1, 0}));
  EXPECT_NE(read.savedMask & kBitPorts, 0u);

  // Files of earlier versions: the "Port number" keys win, each missing one repeating the last.
  Write(Lines({"type=\"Lg2b\"", "Port number=\"1\" value=\"4\"", "Port number=\"3\" value=\"260\"",
               "Port number=\"5\" value=\"2\"", "ports=\"9 9 9 9 9\""}));
  auto older = Fresh(2);
  ASSERT_EQ(ReadInfoFile(*older, path_), 1);
  EXPECT_EQ(older->settings.ports, (PortBytes{4, 4, 4, 4, 2}));
  EXPECT_NE(older->savedMask & kBitPorts, 0u);
}

TEST_F(ReadBack, M2vSlotsComeBackIntoTheSlotsTheyWereWrittenFrom) {
  auto link = Fresh(22);
  link->info->config = "41000";
  for (int i = 1; i < kPGroupSlots; ++i) link->info->slots[static_cast<size_t>(i)] = "v" + std::to_string(i);
  InstrumentLink& read = RoundTrip(*link);
  EXPECT_EQ(read.info->slots, link->info->slots);
  EXPECT_NE(read.info->present & kInstPGroup, 0u);
  EXPECT_EQ(read.info->config, "41000");
}

TEST_F(ReadBack, ValuesWithDoubleQuotesComeBackWhole) {
  auto link = Fresh(3);
  link->settings.className = "Lg20";
  link->settings.site = "Pier \"7\"";
  link->settings.trait = kTraitValid | kTraitCellular;
  link->settings.apn = "\"quoted\"";
  link->settings.deviceName = "D";
  InstrumentLink& read = RoundTrip(*link);
  EXPECT_EQ(read.settings.site, "Pier \"7\"");
  EXPECT_EQ(read.settings.apn, "\"quoted\"");
  EXPECT_EQ(read.settings.apnUser, "") << "the next key is not swallowed";

  auto tgx = Fresh(16);
  tgx->info->tadj = "a\"b";
  tgx->info->config = "\"";
  InstrumentLink& tgxRead = RoundTrip(*tgx);
  EXPECT_EQ(tgxRead.info->tadj, "a\"b");
  EXPECT_EQ(tgxRead.info->config, "\"");
}

TEST_F(ReadBack, EveryCapturedInstrumentSettingOfAKindComesBack) {
  // Settings the capture of these kinds reads, which the file carries.
  auto osmir = Fresh(6);
  osmir->info->hadj = "1.5";
  osmir->info->tau = 45;
  InstrumentLink& o = RoundTrip(*osmir);
  EXPECT_EQ(o.info->hadj, "1.5");
  EXPECT_EQ(o.info->tau, 45);
  EXPECT_NE(o.info->present & kInstHadjTau, 0u);

  auto lx40 = Fresh(8);
  lx40->info->location = "Field 3";
  lx40->info->serialNumber = "LX-9";
  lx40->info->config = "1 0 3";
  lx40->info->contrast = 6;
  InstrumentLink& l = RoundTrip(*lx40);
  EXPECT_EQ(l.info->present, kInstLocation | kInstSerialNumber | kInstConfig | kInstContrast);
  EXPECT_EQ(l.info->contrast, 6);

  auto oldLx40 = Fresh(8);
  oldLx40->info->location = "Field 3";
  InstrumentLink& ol = RoundTrip(*oldLx40);
  EXPECT_EQ(ol.info->present, kInstLocation) << "an older LX40's file: no contrast was captured";
}

TEST_F(ReadBack, InstrumentRecordsAndFieldrexSlots) {
  auto mq2 = Fresh(15);
  mq2->info->config = "40423";
  mq2->info->serialNumber = "M2-10442";
  mq2->info->hadj = "1.5 0.2";
  mq2->info->tau = 45;
  mq2->userRecords->records = {{"", "QUJD"}, {"", "REVG"}};
  mq2->eqnRecords->records = {{"", "VWC 0.1*x"}};
  InstrumentLink& m = RoundTrip(*mq2);
  ASSERT_EQ(m.userRecords->records.size(), 2u);
  EXPECT_EQ(m.userRecords->records[1].text, "REVG");
  ASSERT_EQ(m.eqnRecords->records.size(), 1u);
  EXPECT_EQ(m.info->present, kInstSerialNumber | kInstConfig | kInstHadjTau | kInstUserRecords | kInstEqnRecords);
  EXPECT_EQ(m.info->serialNumber, "M2-10442") << "the M2's serial number comes back with its config";

  auto fx = Fresh(14);
  fx->info->slots[0] = "1";
  fx->info->slots[1] = "2";
  fx->info->name = "FXR";
  InstrumentLink& f = RoundTrip(*fx);
  EXPECT_EQ(f.info->slots[1], "2");
  EXPECT_EQ(f.info->present & (kInstCalValues | kInstName), kInstCalValues | kInstName);
}

TEST_F(SettingsFile, ReaderRefusesMissingWrongAndUnknownFiles) {
  auto link = Fresh(16);
  EXPECT_EQ(ReadInfoFile(*link, path_), kSettingsFileMissing);
  EXPECT_EQ(ReadInfoFile(*link, ""), -10);
  Write(Lines({"type=\"MQ2\"", "sn=\"X\""}));
  EXPECT_EQ(ReadInfoFile(*link, path_), -30);
  EXPECT_EQ(link->info->present, 0u);
  EXPECT_EQ(ReadInfoFile(*Fresh(1), path_), -13);
  Write(Lines({"type=\"PLANVEX\""}));
  EXPECT_EQ(ReadInfoFile(*Fresh(21), path_), -30) << "no reader keys for this kind";
#ifndef _WIN32
  if (::geteuid() != 0) {
    std::filesystem::permissions(path_, std::filesystem::perms::none);
    EXPECT_EQ(ReadInfoFile(*link, path_), kSettingsFileDenied);
  }
#endif
  EXPECT_EQ(ReadInfoFile(*link, dir_.string()), kSettingsFileDenied) << "a folder is not readable as a file";
}

TEST_F(SettingsFile, AnInterruptedWriteLeavesThePreviousFileWhole) {
  auto link = Fresh(16);
  link->info->serialNumber = "GOOD";
  ASSERT_EQ(WriteInfoFile(*link, path_), 1);
  const std::string good = Read(path_);

  link->info->serialNumber = "NEW";
  link->info->tadj = std::string(4000, 't');
#ifndef _WIN32
  // The second write runs out of room half way (a full disk, a file size limit).
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit {200, 200};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(WriteInfoFile(*link, path_) < 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write is reported";
  EXPECT_EQ(Read(path_), good) << "the previous settings file is untouched";
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
#endif

  ASSERT_EQ(WriteInfoFile(*link, path_), 1);
  EXPECT_NE(Read(path_).find("sn=\"NEW\""), std::string::npos);
  EXPECT_EQ(WriteInfoFile(*link, ""), -10);
  EXPECT_LT(WriteInfoFile(*link, (dir_ / "no such folder" / "x.txt").string()), 0);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
}

// Paths are UTF-8 throughout: a user or folder name beyond ASCII must not lose the file.
TEST_F(SettingsFile, AFolderNamedBeyondAsciiHoldsTheFile) {
  const std::string folder = dir_.string() + "/Donn\xC3\xA9" "es \xE6\xB8\xAC";
  std::filesystem::create_directories(Utf8Path(folder));
  const std::string path = folder + "/Pelloran TGX.settings.txt";
  auto link = Fresh(16);
  link->info->serialNumber = "U8";
  ASSERT_EQ(WriteInfoFile(*link, path), 1);
  link->info->serialNumber = "U8 again";
  ASSERT_EQ(WriteInfoFile(*link, path), 1) << "the second write replaces the first";
  auto back = Fresh(16);
  ASSERT_EQ(ReadInfoFile(*back, path), 1);
  EXPECT_EQ(back->info->serialNumber, "U8 again");
  EXPECT_TRUE(std::filesystem::exists(Utf8Path(path)));
}

}  // namespace
