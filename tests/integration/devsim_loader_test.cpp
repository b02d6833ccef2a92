// The simulated TGX loader driven over its pseudo-terminal with raw bytes, the way a host
// would: its own small termios port and frame builder, nothing from the updater.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "devsim_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::json;

constexpr unsigned kFirmwareBaud = 9600;
constexpr unsigned kLoaderBaud = 57600;
constexpr int kQuietMs = 300;  // long enough to be sure no answer is coming

speed_t SpeedCode(unsigned baud) {
  switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 57600: return B57600;
    default: throw std::runtime_error("unexpected baud");
  }
}

// The test's end of the line.
struct HostPort {
  int fd = -1;

  HostPort(const std::string& path, unsigned baud) {
    fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    SetBaud(baud);
  }
  ~HostPort() {
    if (fd >= 0) close(fd);
  }
  HostPort(const HostPort&) = delete;
  HostPort& operator=(const HostPort&) = delete;

  void SetBaud(unsigned baud) const {
    struct termios tio {};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    cfsetispeed(&tio, SpeedCode(baud));
    cfsetospeed(&tio, SpeedCode(baud));
    tcsetattr(fd, TCSANOW, &tio);
  }

  void Send(const std::string& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
      if (put <= 0) throw std::runtime_error("write to the simulator failed");
      done += static_cast<size_t>(put);
    }
  }

  // What arrives until `end` has been seen or the time is up.
  std::string ReadUntil(const std::string& end, int timeoutMs = 2000) const {
    std::string got;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.find(end) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) break;
      struct pollfd pfd {fd, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(left)) <= 0 || !(pfd.revents & POLLIN)) break;
      char chunk[256];
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n <= 0) break;
      got.append(chunk, static_cast<size_t>(n));
    }
    return got;
  }

  // Everything that arrives within the time.
  std::string ReadFor(int ms) const { return ReadUntil(std::string(1, '\0') + "never", ms); }

  std::string Exchange(const std::string& bytes, const std::string& end, int timeoutMs = 2000) const {
    Send(bytes);
    return ReadUntil(end, timeoutMs);
  }
};

std::string Frame(char letter, const std::string& argument) {
  unsigned sum = '.' + static_cast<unsigned char>(letter);
  for (char c : argument) sum += static_cast<unsigned char>(c);
  char trailer[16];
  std::snprintf(trailer, sizeof trailer, ".%04X\r", sum % 0xFFFF);
  return std::string(1, letter) + argument + trailer;
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// Words as the loader takes them: value first-digit-first, low byte at the even address.
std::string WordDigits(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  std::string digits;
  for (size_t i = from; i < from + count; i += 2) digits += Hex(static_cast<unsigned>(bytes[i] | bytes[i + 1] << 8), 4);
  return digits;
}

// Boot word at 9600, then attach at the loader's rate.
void BootAndAttach(const HostPort& port, unsigned baud = kLoaderBaud) {
  port.SetBaud(kFirmwareBaud);
  ASSERT_EQ(port.Exchange("boot ZEPH\r", "\n"), "OK\r\n");
  port.SetBaud(baud);
  ASSERT_EQ(port.Exchange("\r", "$"), "$");
  ASSERT_EQ(port.Exchange("P", "#"), "#");
}

const std::string kAck = "+\r";
const std::string kNak = "-\r";

std::string FlashAt(const json& report, unsigned address, size_t bytes) {
  for (const json& run : report["flash"]) {
    const unsigned start = run["address"];
    const std::string hex = run["hex"];
    if (address >= start && (address - start + bytes) * 2 <= hex.size()) return hex.substr((address - start) * 2, bytes * 2);
  }
  return "(not programmed)";
}

bool HasRunAt(const json& report, unsigned address) {
  for (const json& run : report["flash"]) {
    if (run["address"] == address) return true;
  }
  return false;
}

TEST(DevsimLoader, BootAttachAndVersion) {
  DevsimProcess sim({"--device", "TGX:1.20"});
  HostPort port(sim.ptyPath, kFirmwareBaud);
  EXPECT_EQ(port.Exchange("get -ver\r", ">"), "\rTGX 1.20\r>") << "the firmware names the version it started with";
  BootAndAttach(port);
  EXPECT_EQ(port.Exchange("\r", "\r"), "?\r") << "an attached loader answers a bare return with ?";
  EXPECT_EQ(port.Exchange("P", "#"), "#");
  EXPECT_EQ(port.Exchange(Frame('g', ""), "\r"), "+210+\r");
  EXPECT_EQ(Frame('g', ""), "g.0095\r");

  const json report = sim.Stop();
  EXPECT_EQ(report["mode"], "loader-attached");
  EXPECT_EQ(report["firmware"]["version"], 120) << "the factory firmware carries the version asked for";
  EXPECT_EQ(report["frames"], json({{"g", 1}}));
  EXPECT_TRUE(report["faults"].empty());
  for (const json& vector : report["vectors"]) EXPECT_EQ(vector, 0xFFFF) << "starting the loader erases the vectors";
  EXPECT_EQ(report["traffic"].size(), 2u);
  EXPECT_EQ(report["traffic"][0]["baud"], kFirmwareBaud);
  EXPECT_EQ(report["traffic"][0]["received"], 9 + 10);
  EXPECT_EQ(report["traffic"][1]["baud"], kLoaderBaud);
}

TEST(DevsimLoader, NoLoaderAnswersMissing) {
  DevsimProcess sim({"--no-loader"});
  HostPort port(sim.ptyPath, kFirmwareBaud);
  EXPECT_EQ(port.Exchange("boot ZEPH\r", "\n"), "VornBSL MISSING\r\n");
  EXPECT_EQ(sim.Stop()["mode"], "firmware");
}

TEST(DevsimLoader, ErasesAndWritesSegmentsAndReportsTheFlash) {
  DevsimProcess sim({});
  HostPort port(sim.ptyPath, kFirmwareBaud);
  BootAndAttach(port);
  for (const char* segment : {"01800", "01880", "01900", "06E00", "10000"}) {
    EXPECT_EQ(port.Exchange(Frame('X', segment), "\r"), kAck) << segment;
  }
  EXPECT_EQ(port.Exchange(Frame('@', "6E00"), "\r"), kAck) << "four-digit addresses are taken too";
  EXPECT_EQ(port.Exchange(Frame('W', "34127856"), "\r"), kAck);
  EXPECT_EQ(port.Exchange(Frame('W', "BC9A"), "\r"), kAck) << "the loader advanced its address";
  EXPECT_EQ(port.Exchange(Frame('@', "101FC"), "\r"), kAck);
  EXPECT_EQ(port.Exchange(Frame('W', "22114433"), "\r"), kAck);

  const json report = sim.Stop();
  EXPECT_TRUE(report["faults"].empty()) << report["faults"];
  EXPECT_EQ(FlashAt(report, 0x6E00, 6), "123456789ABC");
  EXPECT_FALSE(HasRunAt(report, 0x1800)) << "INFO was erased";
  EXPECT_TRUE(HasRunAt(report, 0x7000)) << "the factory firmware after the erased segment is still there";
  EXPECT_FALSE(HasRunAt(report, 0x10000));
  EXPECT_TRUE(HasRunAt(report, 0x101FC)) << "the last word of a segment runs on into the next one";
  EXPECT_EQ(FlashAt(report, 0x101FC, 6).substr(0, 8), "11223344");
  EXPECT_EQ(report["frames"], json({{"X", 5}, {"@", 2}, {"W", 3}}));
}

TEST(DevsimLoader, HostErrorsAreAnsweredMinusAndRecorded) {
  struct Case {
    std::string frame;
    std::string fault;
  };
  const std::vector<Case> cases = {
      {Frame('@', "07000"), ""},
      {Frame('W', "FFFF"), "write to unerased flash at 07000"},
      {"g.0096\r", "bad checksum 0096, expected 0095"},
      {Frame('X', "0FA00"), "erase in the loader's protected area at 0FA00"},
      {Frame('X', "40000"), "erase outside memory at 40000"},
      {Frame('@', "0FDFE"), ""},
      {Frame('W', "FFFF"), "write in the loader's protected area at 0FDFE"},
      {Frame('@', "3C000"), ""},
      {Frame('W', "FFFF"), "write outside memory at 3C000"},
      {Frame('@', "06E01"), ""},
      {Frame('W', "FFFF"), "word write at odd address 06E01"},
      {Frame('W', "123"), "bad data (3 digits)"},
      {Frame('@', "6E"), "bad address \"6E\""},
      {Frame('V', "FFFF"), "bad vector data (4 digits)"},
      {Frame('Z', ""), "unknown command"},
  };
  DevsimProcess sim({});
  HostPort port(sim.ptyPath, kFirmwareBaud);
  BootAndAttach(port);
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    EXPECT_EQ(port.Exchange(c.frame, "\r"), c.fault.empty() ? kAck : kNak) << c.frame;
    if (!c.fault.empty()) expected.push_back(c.fault);
  }
  const json report = sim.Stop();
  ASSERT_EQ(report["faults"].size(), expected.size()) << report["faults"];
  for (size_t i = 0; i < expected.size(); ++i) {
    const std::string fault = report["faults"][i];
    EXPECT_NE(fault.find(expected[i]), std::string::npos) << fault;
  }
  EXPECT_EQ(FlashAt(report, 0x7000, 2).size(), 4u) << "the refused write left the old bytes";
}

// A small firmware image with its identity block, its bytes and its vector table.
struct TestImage {
  static constexpr unsigned kStart = 0x6E00;
  static constexpr unsigned kLength = 0x100;
  std::vector<uint8_t> bytes;
  std::vector<unsigned> vectors;
};

uint32_t Crc32(const std::vector<uint8_t>& data) {
  uint32_t crc = 0xFFFFFFFF;
  for (uint8_t value : data) {
    crc ^= value;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

void PutLe(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

TestImage MakeTestImage(unsigned version) {
  TestImage image;
  image.bytes.resize(TestImage::kLength);
  for (size_t i = 0; i < image.bytes.size(); ++i) image.bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  const std::string magic("VORNIMG\0TGX\0\0\0\0\0", 16);
  std::copy(magic.begin(), magic.end(), image.bytes.begin());
  PutLe(image.bytes, 16, version, 2);
  PutLe(image.bytes, 18, 0, 2);
  PutLe(image.bytes, 20, 0, 4);
  PutLe(image.bytes, 24, 1, 2);
  PutLe(image.bytes, 26, 0, 2);
  PutLe(image.bytes, 28, TestImage::kStart, 4);
  PutLe(image.bytes, 32, TestImage::kLength, 4);
  PutLe(image.bytes, 20, Crc32(image.bytes), 4);
  for (unsigned i = 0; i < 16; ++i) image.vectors.push_back(TestImage::kStart + 0x40 + 4 * i);
  return image;
}

std::string WriteTiText(const TestImage& image) {
  const std::string path = testing::TempDir() + "devsim_image.txt";
  std::ofstream out(path);
  out << "@" << Hex(TestImage::kStart, 4) << "\n";
  for (size_t i = 0; i < image.bytes.size(); ++i) out << Hex(image.bytes[i], 2) << ((i % 16 == 15) ? "\n" : " ");
  out << "@FFE0\n";
  for (unsigned vector : image.vectors) out << Hex(vector & 0xFF, 2) << " " << Hex(vector >> 8, 2) << " ";
  out << "\nq\n";
  return path;
}

// Erases the image's segment, writes all of it or all but its last word, and the vectors.
void Upload(const HostPort& port, const TestImage& image, bool complete) {
  ASSERT_EQ(port.Exchange(Frame('X', Hex(TestImage::kStart, 5)), "\r"), kAck);
  ASSERT_EQ(port.Exchange(Frame('@', Hex(TestImage::kStart, 5)), "\r"), kAck);
  const size_t length = complete ? image.bytes.size() : image.bytes.size() - 2;
  for (size_t at = 0; at < length; at += 256) {
    ASSERT_EQ(port.Exchange(Frame('W', WordDigits(image.bytes, at, std::min<size_t>(256, length - at))), "\r"), kAck);
  }
  std::string vectors;
  for (unsigned vector : image.vectors) vectors += Hex(vector, 4);
  ASSERT_EQ(Frame('V', vectors).size(), 71u);
  ASSERT_EQ(port.Exchange(Frame('V', vectors), "+"), "+");
}

TEST(DevsimLoader, RestartsIntoTheNewFirmwareAfterACompleteImage) {
  const TestImage image = MakeTestImage(150);
  DevsimProcess sim({"--image", WriteTiText(image), "--restart-ms", "100", "--exit-after-update"});
  {
    HostPort port(sim.ptyPath, kFirmwareBaud);
    BootAndAttach(port);
    Upload(port, image, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    port.SetBaud(kFirmwareBaud);
    EXPECT_EQ(port.Exchange("get -ver\r", ">"), "\rTGX 1.50\r>") << "the new firmware's command line answers";
    EXPECT_TRUE(sim.Running()) << "the port is still open";
  }
  ASSERT_TRUE(sim.WaitForExit(5000)) << "the host closed the port after the update";
  const json report = sim.Report();
  EXPECT_EQ(report["restarts"], 1);
  EXPECT_TRUE(report["updateFinished"]);
  EXPECT_EQ(report["firmware"]["version"], 150);
  EXPECT_TRUE(report["firmware"]["intact"]);
  EXPECT_TRUE(report["imageMatches"]) << report.value("firstImageMismatch", json());
  EXPECT_EQ(report["imageBytesChecked"], TestImage::kLength + 32);
  EXPECT_TRUE(report["faults"].empty()) << report["faults"];
}

TEST(DevsimLoader, RestartsIntoTheLoaderAfterAnIncompleteImage) {
  const TestImage image = MakeTestImage(150);
  DevsimProcess sim({"--image", WriteTiText(image), "--restart-ms", "100"});
  HostPort port(sim.ptyPath, kFirmwareBaud);
  BootAndAttach(port);
  Upload(port, image, false);
  EXPECT_EQ(port.ReadFor(kQuietMs), "") << "nothing answers while the device restarts";
  port.SetBaud(kFirmwareBaud);
  EXPECT_EQ(port.Exchange("\r", "$"), "$") << "the image failed its check: the loader waits";
  const json report = sim.Stop();
  EXPECT_EQ(report["mode"], "loader-waiting");
  EXPECT_EQ(report["restarts"], 1);
  EXPECT_FALSE(report["firmware"]["intact"]);
  EXPECT_FALSE(report["imageMatches"]);
  EXPECT_EQ(report["firstImageMismatch"]["address"], TestImage::kStart + TestImage::kLength - 2);
}

TEST(DevsimLoader, BytesAtTheWrongRateArriveGarbled) {
  DevsimProcess sim({});
  HostPort port(sim.ptyPath, kLoaderBaud);
  EXPECT_EQ(port.Exchange("boot ZEPH\r", "\n", kQuietMs), "") << "the firmware listens at 9600";
  BootAndAttach(port);
  port.SetBaud(kFirmwareBaud);
  EXPECT_EQ(port.Exchange(Frame('g', ""), "\r", kQuietMs), "") << "the attached loader kept the rate it was attached at";
  port.SetBaud(kLoaderBaud);
  EXPECT_EQ(port.Exchange("\r", "\r"), "?\r") << "the garbled line is no frame";
  EXPECT_EQ(port.Exchange(Frame('g', ""), "\r"), "+210+\r");
  const json report = sim.Stop();
  EXPECT_EQ(report["garbledReceived"], 10 + 7);
  EXPECT_EQ(report["frames"], json({{"g", 1}}));
}

// A logger's loader is built for its kind's loader rate and hears nothing at another; the TGX's
// measures the rate of the host's first "\r". Either can be made to behave the other way.
TEST(DevsimLoader, ALoaderBuiltForOneRateHearsNoOther) {
  struct Case {
    std::vector<std::string> arguments;
    unsigned deafAt;  // 0: it hears every rate
    unsigned hearsAt;
    json reportedBaud;
  };
  const Case cases[] = {
      {{"--device", "LG20", "--start-in-loader"}, kLoaderBaud, kFirmwareBaud, 9600},
      {{"--device", "QRL", "--start-in-loader"}, 19200, kFirmwareBaud, 9600},
      {{"--device", "LG20", "--start-in-loader", "--loader-baud", "auto"}, 0, kLoaderBaud, "auto"},
      {{"--device", "TGX", "--start-in-loader", "--loader-baud", "57600"}, kFirmwareBaud, kLoaderBaud, 57600},
      {{"--device", "TGX", "--start-in-loader"}, 0, 19200, "auto"},
  };
  for (const Case& c : cases) {
    const std::string name = c.arguments[1] + (c.arguments.size() > 3 ? " " + c.arguments[4] : "");
    DevsimProcess sim(c.arguments);
    HostPort port(sim.ptyPath, c.hearsAt);
    if (c.deafAt != 0) {
      port.SetBaud(c.deafAt);
      EXPECT_EQ(port.Exchange("\r", "$", kQuietMs), "") << name << ": a probe at another rate goes unheard";
      EXPECT_EQ(port.Exchange("P", "#", kQuietMs), "") << name;
      port.SetBaud(c.hearsAt);
    }
    EXPECT_EQ(port.Exchange("\r", "$"), "$") << name;
    EXPECT_EQ(port.Exchange("P", "#"), "#") << name;
    EXPECT_EQ(port.Exchange(Frame('g', ""), "\r"), c.arguments[1] == "TGX" ? "+210+\r" : "+200+\r") << name;
    const json report = sim.Stop();
    EXPECT_EQ(report["loaderBaud"], c.reportedBaud) << name;
    EXPECT_EQ(report["mode"], "loader-attached") << name;
  }
}

TEST(DevsimLoader, BaudTimingPacesBytesAtTheHostRate) {
  // One 128-word block at 9600 baud: 519 bytes out and 2 back are 0.54 s on the wire.
  const std::vector<uint8_t> block(256, 0x5A);
  const std::string write = Frame('W', WordDigits(block, 0, block.size()));
  const double wire = static_cast<double>(write.size() + 2) * 10 / 9600;
  for (bool timing : {true, false}) {
    std::vector<std::string> arguments;
    if (timing) arguments.push_back("--baud-timing");
    DevsimProcess sim(arguments);
    HostPort port(sim.ptyPath, kFirmwareBaud);
    BootAndAttach(port, kFirmwareBaud);
    ASSERT_EQ(port.Exchange(Frame('X', "06E00"), "\r"), kAck);
    ASSERT_EQ(port.Exchange(Frame('@', "06E00"), "\r"), kAck);
    const auto start = Clock::now();
    ASSERT_EQ(port.Exchange(write, "\r"), kAck);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (timing) {
      EXPECT_GE(seconds, wire * 0.95);
      EXPECT_LT(seconds, wire + 0.5);
    } else {
      EXPECT_LT(seconds, wire / 2);
    }
    const json report = sim.Stop();
    double bound = 0;
    for (const json& row : report["traffic"]) {
      bound += (row["received"].get<double>() + row["sent"].get<double>()) * 10 / row["baud"].get<double>();
    }
    EXPECT_NEAR(report["wireBoundSeconds"].get<double>(), bound, 1e-9);
    EXPECT_GT(bound, wire);
  }
}

TEST(DevsimLoader, SurvivesTheHostClosingAndReopeningThePort) {
  DevsimProcess sim({"--start-in-loader"});
  for (int round = 0; round < 25; ++round) {
    HostPort port(sim.ptyPath, round % 2 ? kLoaderBaud : kFirmwareBaud);
    ASSERT_EQ(port.Exchange("\r", "$"), "$") << "round " << round;
  }
  const json report = sim.Stop();
  EXPECT_EQ(report["mode"], "loader-waiting");
  EXPECT_EQ(report["traffic"][0]["received"], 13);
  EXPECT_EQ(report["traffic"][1]["received"], 12);
}

TEST(DevsimLoader, InjectedNakRefusesOneWriteThatARetryThenMakes) {
  DevsimProcess sim({"--fault", "nak@write:2"});
  HostPort port(sim.ptyPath, kFirmwareBaud);
  BootAndAttach(port);
  ASSERT_EQ(port.Exchange(Frame('X', "06E00"), "\r"), kAck);
  ASSERT_EQ(port.Exchange(Frame('@', "06E00"), "\r"), kAck);
  EXPECT_EQ(port.Exchange(Frame('W', "1111"), "\r"), kAck);
  EXPECT_EQ(port.Exchange(Frame('W', "2222"), "\r"), kNak);
  EXPECT_EQ(port.Exchange(Frame('@', "06E02"), "\r"), kAck);
  EXPECT_EQ(port.Exchange(Frame('W', "2222"), "\r"), kAck) << "the refused block was not written";
  const json report = sim.Stop();
  EXPECT_TRUE(report["faults"].empty()) << report["faults"];
  EXPECT_EQ(report["injected"], json({"nak@write:2 fired at frame 4 (W)"}));
  EXPECT_EQ(FlashAt(report, 0x6E00, 4), "11112222");
}

TEST(DevsimLoader, InjectedFaultsAtNamedStages) {
  struct Case {
    std::string fault;
    std::string frame;      // sent once attached
    std::string firstReply;  // what the fault leaves of the answer
    std::string thenSend;
    std::string thenReply;   // the device afterwards
  };
  const std::vector<Case> cases = {
      {"silence@version", Frame('g', ""), "", Frame('g', ""), "+210+\r"},
      {"silence@frame:1x2", Frame('g', ""), "", Frame('g', ""), ""},
      {"drop@frame:1", Frame('g', ""), "?\r", Frame('g', ""), "+210+\r"},
      {"reset@address", Frame('@', "06E00"), "", "\r", "$"},
      {"nak@erase-info", Frame('X', "01880"), kNak, Frame('X', "06E00"), kAck},
      {"garble@version", Frame('g', ""), "??????", Frame('g', ""), "+210+\r"},  // six bytes of garbage
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    DevsimProcess sim({"--fault", c.fault});
    HostPort port(sim.ptyPath, kFirmwareBaud);
    BootAndAttach(port);
    const bool garble = c.fault.rfind("garble", 0) == 0;
    const std::string reply = port.Exchange(c.frame, "\r", c.firstReply.empty() || garble ? kQuietMs : 2000);
    if (garble) {
      ASSERT_EQ(reply.size(), c.firstReply.size());
      EXPECT_EQ(reply.find_first_of("\r\n"), std::string::npos) << "garbage never closes a reply";
      EXPECT_NE(reply, "+210+\r") << "the answer is spoilt";
    } else {
      EXPECT_EQ(reply, c.firstReply);
    }
    EXPECT_EQ(port.Exchange(c.thenSend, c.thenReply.empty() ? "\r" : c.thenReply, c.thenReply.empty() ? kQuietMs : 2000),
              c.thenReply);
    const json report = sim.Stop();
    ASSERT_FALSE(report["injected"].empty());
    EXPECT_EQ(report["injected"][0].get<std::string>().rfind(c.fault + " fired at ", 0), 0u) << report["injected"];
  }
}

TEST(DevsimLoader, InjectedFaultsOnTheWayIn) {
  {
    DevsimProcess sim({"--fault", "nak@boot", "--fault", "garble@attach"});
    HostPort port(sim.ptyPath, kFirmwareBaud);
    EXPECT_EQ(port.Exchange("boot ZEPH\r", "\n"), "ERROR\r\n");
    EXPECT_EQ(port.Exchange("boot ZEPH\r", "\n"), "OK\r\n");
    EXPECT_EQ(port.Exchange("\r", "$"), "$");
    const std::string garbled = port.Exchange("P", "#", kQuietMs);
    EXPECT_EQ(garbled.size(), 1u);
    EXPECT_NE(garbled, "#");
    EXPECT_EQ(port.Exchange("\r", "\r"), "?\r") << "the attach itself happened";
    EXPECT_EQ(sim.Stop()["injected"].size(), 2u);
  }
  {
    DevsimProcess sim({"--fault", "hangup@version"});
    HostPort port(sim.ptyPath, kFirmwareBaud);
    BootAndAttach(port);
    port.Send(Frame('g', ""));
    ASSERT_TRUE(sim.WaitForExit(5000)) << "a pulled cable ends the simulator";
    EXPECT_EQ(sim.Report()["injected"], json({"hangup@version fired at frame 1 (g)"}));
  }
}

}  // namespace
