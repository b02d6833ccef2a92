// Network ports by URL and their wire format: what a URL may be and which spellings name one
// server port, the listing's extra ports with URLs among them, and the telnet framing both ways
// (every 0xFF of data doubled, commands split anywhere between two receives).
#include <gtest/gtest.h>

#include "serial/network_port_name.h"
#include "serial/port_enum.h"
#include "serial/serial_port.h"
#include "serial/telnet_codec.h"

namespace {

TEST(NetworkPortName, ReadsHostAndPortOrSaysWhatIsWrong) {
  struct Case {
    const char* url;
    const char* host;  // null: not a network port URL
    uint16_t port;
    const char* reason;
  };
  const Case cases[] = {
      {"rfc2217://127.0.0.1:4001", "127.0.0.1", 4001, ""},
      {"RFC2217://Lab-Server.example:2000/", "Lab-Server.example", 2000, ""},
      {"rfc2217://[fe80::1]:7000", "fe80::1", 7000, ""},
      {"rfc2217://host", nullptr, 0, "it has no port number"},
      {"rfc2217://host:", nullptr, 0, "it has no port number"},
      {"rfc2217://host:0", nullptr, 0, "its port number 0 is not from 1 to 65535"},
      {"rfc2217://host:65536", nullptr, 0, "its port number 65536 is not from 1 to 65535"},
      {"rfc2217://host:4001/extra", nullptr, 0, "its port number \"4001/extra\" is not a number"},
      {"rfc2217://:4001", nullptr, 0, "it names no host"},
      {"rfc2217://ho st:4001", nullptr, 0, "holds characters no host name has"},
      {"rfc2217://[fe80::1:4001", nullptr, 0, "no closing bracket"},
      {"tcp://host:4001", nullptr, 0, "only rfc2217:// URLs name network ports"},
  };
  for (const Case& c : cases) {
    NetworkPortAddress address;
    std::string reason;
    const bool read = ParseNetworkPortName(c.url, &address, &reason);
    EXPECT_EQ(read, c.host != nullptr) << c.url << ": " << reason;
    if (read) {
      EXPECT_EQ(address.host, c.host) << c.url;
      EXPECT_EQ(address.port, c.port) << c.url;
    } else {
      EXPECT_NE(reason.find(c.reason), std::string::npos) << c.url << ": " << reason;
      EXPECT_NE(reason.find("rfc2217://HOST:PORT"), std::string::npos) << "shows the form: " << reason;
    }
  }
}

TEST(NetworkPortName, OneServerPortHasOneIdentityAndItsUrlIsKeptWhole) {
  EXPECT_EQ(PortDeviceIdentity("RFC2217://LocalHost:04001/"), PortDeviceIdentity("rfc2217://localhost:4001"));
  EXPECT_NE(PortDeviceIdentity("rfc2217://localhost:4001"), PortDeviceIdentity("rfc2217://localhost:4002"));
  EXPECT_EQ(NetworkPortName("fe80::1", 7000), "rfc2217://[fe80::1]:7000");
  const std::string longUrl = "rfc2217://" + std::string(70, 'a') + ".example:4001";
  EXPECT_EQ(PortRecordName(longUrl), longUrl) << "a URL is what opens the port";
  EXPECT_EQ(PortRecordName(std::string(70, 'b')).size(), static_cast<size_t>(kPortNameMax));
}

TEST(NetworkPortName, ExtraPortsKeepTheirUrlsWhole) {
  EXPECT_EQ(SplitExtraPorts("/dev/pts/7:rfc2217://10.0.0.5:4001:rfc2217://[fe80::1]:7000::/dev/pts/9"),
            (std::vector<std::string>{"/dev/pts/7", "rfc2217://10.0.0.5:4001", "rfc2217://[fe80::1]:7000",
                                      "/dev/pts/9"}));
  const FoundPort network{"rfc2217://10.0.0.5:4001", 1000, "", ""};
  EXPECT_EQ(DescribePort(network), "rfc2217://10.0.0.5:4001");
}

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

TEST(TelnetCodec, DoublesEveryFFOnTheWayOutAndAsksForTheSpeedInNetworkOrder) {
  const std::string data = Bytes({0x40, 0xFF, 0xFF, 0x00, 0x0D});
  EXPECT_EQ(telnet::Escape(data.data(), static_cast<int>(data.size())), Bytes({0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x0D}));
  // 0xFF inside a request's value is doubled too: 65535 baud.
  EXPECT_EQ(telnet::ComPortRequest(telnet::kSetBaudRate, telnet::BaudRateValue(65535)),
            Bytes({255, 250, 44, 1, 0, 0, 255, 255, 255, 255, 255, 240}));
  EXPECT_EQ(telnet::BaudRateOf(telnet::BaudRateValue(57600)), 57600u);
}

// The server's stream: data with doubled 0xFF, an option, an answer with a doubled 0xFF in its
// value, more data. However it is cut into receives, the same data and events come out in order.
TEST(TelnetCodec, ReadsTheSameStreamHoweverItIsSplit) {
  const std::string stream = Bytes({'+', 255, 255, 255, 253, 44, 255, 250, 44, 101, 0, 0, 255, 255, 255, 255, 255,
                                    240, 'O', 'K', 255, 255, '\r'});
  for (size_t cut = 0; cut <= stream.size(); ++cut) {
    telnet::Decoder decoder;
    std::vector<telnet::Event> events;
    telnet::Decode(decoder, stream.data(), static_cast<int>(cut), &events);
    telnet::Decode(decoder, stream.data() + cut, static_cast<int>(stream.size() - cut), &events);
    std::string before, after;
    int options = 0, answers = 0;
    for (const telnet::Event& e : events) {
      if (e.kind == telnet::Event::Kind::kData) (answers == 0 ? before : after) += e.value;
      if (e.kind == telnet::Event::Kind::kOption) {
        ++options;
        EXPECT_EQ(e.verb, telnet::kDo);
        EXPECT_EQ(e.code, telnet::kOptionComPort);
      }
      if (e.kind == telnet::Event::Kind::kComPort) {
        ++answers;
        EXPECT_EQ(e.code, 101);
        EXPECT_EQ(telnet::BaudRateOf(e.value), 65535u) << "cut at " << cut;
      }
    }
    EXPECT_EQ(before, Bytes({'+', 255})) << "cut at " << cut;
    EXPECT_EQ(after, Bytes({'O', 'K', 255, '\r'})) << "cut at " << cut;
    EXPECT_EQ(options, 1) << "cut at " << cut;
    EXPECT_EQ(answers, 1) << "cut at " << cut;
  }
}

}  // namespace
