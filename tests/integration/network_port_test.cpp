// Ports on a network serial server: Debian's ser2net offers pseudo-terminals as RFC 2217 ports on
// loopback. The driver's own operations on such a port (every byte both ways, the speed, the
// purge, the lines a pseudo-terminal refuses, a port another client holds, servers that are no
// such server), then whole updates with vornbsl-cli through it: a TGX at the real wire speed, a
// logger and a sensor behind a Fieldrex, four devices at once, a connection cut during the
// upload and the run that finishes it, a link with 50 ms of round trip, and the bad inputs.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "cli_process.h"
#include "devsim_process.h"
#include "network_server.h"
#include "pty_pair.h"
#include "serial/serial_port.h"
#include "test_folder.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
const std::string kSensorImage = std::string(VORN_SOURCE_DIR) + "/firmware/SKYRA61 1.50.txt";
constexpr int kQuickOpenMs = 1000;
constexpr int kIntoTheUploadMs = 100;  // the upload without baud timing takes about 200 ms  // an open that waited for refused lines would take seconds

class NetworkPort : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = FreshTestFolder("vorn_net_"); }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(dir_);
  }
  CliRun Cli(const std::vector<std::string>& args, const std::string& program = VORN_CLI_PATH) {
    std::vector<std::string> all = {"--data-dir", (dir_ / "data").string()};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(program, all, dir_ / "stderr.txt");
  }
  fs::path dir_;
};

std::string AllByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
  return bytes + bytes;  // 0xFF twice in a row as well
}

// Reads until `count` bytes came or a second passed.
std::string ReadPort(SerialPort& port, size_t count) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  char chunk[600];
  while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
    int n = 0;
    if (VSRead(port, chunk, sizeof chunk, &n) < 0) break;
    got.append(chunk, static_cast<size_t>(n));
  }
  return got;
}

// The driver sees a network port as a local one: every byte value both ways (0xFF included,
// doubled on the wire), the speed on the device's side, the purge, and a close that lets the
// next open in at once. The pseudo-terminal behind the server refuses DTR and RTS, which the
// server leaves unanswered: the open goes on without waiting for them.
TEST_F(NetworkPort, CarriesEveryByteAtTheAskedSpeedAndLetsGoOnClose) {
  PtyPair pty;
  Ser2NetServer server({pty.slavePath}, dir_);
  SerialPort port;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(VSOpen(port, server.Url(), 9600), 1) << port.failure;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kQuickOpenMs));
  EXPECT_EQ(pty.SlaveBaud(), 9600u);
  EXPECT_EQ(VSHostBaud(port, 57600), 1) << port.failure;
  EXPECT_EQ(pty.SlaveBaud(), 57600u);

  const std::string bytes = AllByteValues();
  EXPECT_EQ(VSWriteText(port, bytes), static_cast<int>(bytes.size()));
  EXPECT_EQ(pty.Receive(), bytes);
  pty.Send(bytes);
  EXPECT_EQ(ReadPort(port, bytes.size()), bytes);

  pty.Send("stale answer");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  VSPurge(port, kPurgeReceive);
  // The device answers what is sent after the purge, as a loader answers its frame.
  VSWriteText(port, "g");
  EXPECT_EQ(pty.Receive(), "g");
  pty.Send("+\r");
  EXPECT_EQ(VSWait(port, 1000, '\r'), '\r');
  EXPECT_EQ(ReadPort(port, 2), "+\r") << "the purge dropped what came before it, and only that";

  EXPECT_EQ(VSClose(port), 1);
  SerialPort again;
  EXPECT_EQ(VSOpen(again, server.Url(), 9600), 1) << again.failure;
}

TEST_F(NetworkPort, AServerPortAnotherClientHoldsIsInUse) {
  PtyPair pty;
  Ser2NetServer server({pty.slavePath}, dir_);
  SerialPort first, second;
  ASSERT_EQ(VSOpen(first, server.Url(), 9600), 1) << first.failure;
  EXPECT_EQ(VSOpen(second, server.Url(), 9600), -kSysPortInUse);
  EXPECT_NE(second.failure.find("Port already in use"), std::string::npos) << second.failure;
}

// The name alone picks the transport: a network port's scheme in any letters' case reaches the
// network, a URL of another scheme is refused with the reason rather than looked for as a device,
// and anything else is a device of this computer.
TEST_F(NetworkPort, TheNameChoosesTheTransport) {
  const std::string refused = "RFC2217://127.0.0.1:" + std::to_string(FreeTcpPort());
  struct Case {
    std::string name;
    std::string failure;  // empty: a device's failure has no words
  };
  const Case cases[] = {
      {refused, "the server refused the connection"},
      {"telnet://127.0.0.1:4001", "only rfc2217:// URLs name network ports"},
      {"/dev/vorn-no-such-port", ""},
  };
  for (const Case& c : cases) {
    SerialPort port;
    EXPECT_EQ(VSOpen(port, c.name, 9600), -kSysPortMissing) << c.name;
    EXPECT_EQ(port.handle, nullptr) << c.name;
    if (c.failure.empty()) {
      EXPECT_EQ(port.failure, "") << c.name;
    } else {
      EXPECT_NE(port.failure.find(c.failure), std::string::npos) << c.name << ": " << port.failure;
    }
  }
}

// A loopback server that accepts and then either stays silent (plain TCP) or hangs up at once.
class RawServer {
 public:
  explicit RawServer(bool hangUp) : hangUp_(hangUp) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd_, reinterpret_cast<sockaddr*>(&address), size);
    listen(fd_, 4);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      const int client = accept(fd_, nullptr, nullptr);
      if (hangUp_) {
        close(client);
        return;
      }
      char sink[256];
      while (read(client, sink, sizeof sink) > 0) {
      }
      close(client);
    });
  }
  ~RawServer() {
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  int port = 0;

 private:
  bool hangUp_;
  int fd_ = -1;
  std::thread thread_;
};

// Every bad input is told with the URL and the reason; a URL that is not one is a usage error.
TEST_F(NetworkPort, BadInputsAreToldWithTheUrlAndTheReason) {
  const RawServer plain(false), hangingUp(true);
  const std::string refused = LoopbackUrl(FreeTcpPort());
  struct Case {
    std::string port;
    int status;
    std::string told;
  };
  const std::vector<Case> cases = {
      {"rfc2217://no-such-host.invalid:4001", 1, "the host name \"no-such-host.invalid\" does not resolve"},
      {refused, 1, "the server refused the connection"},
      {LoopbackUrl(plain.port), 1, "the server does not speak RFC 2217"},
      {LoopbackUrl(hangingUp.port), 1, "the server closed the connection at once"},
      {"rfc2217://127.0.0.1", 2, "it has no port number"},
      {"rfc2217://127.0.0.1:70000", 2, "its port number 70000 is not from 1 to 65535"},
      {"rfc2217://127.0.0.1:40x1", 2, "its port number \"40x1\" is not a number"},
      {"rfc2217://:4001", 2, "it names no host"},
      {"telnet://127.0.0.1:4001", 2, "only rfc2217:// URLs name network ports"},
  };
  for (const Case& c : cases) {
    const CliRun run = Cli({"update", "--port", c.port, "--yes"});
    EXPECT_EQ(run.status, c.status) << c.port << "\n" << run.err;
    EXPECT_NE(run.err.find(c.port), std::string::npos) << "names the URL: " << run.err;
    EXPECT_NE(run.err.find(c.told), std::string::npos) << c.port << "\n" << run.err;
  }
  const CliRun identify = Cli({"identify", "--port", refused});
  EXPECT_EQ(identify.status, 1);
  EXPECT_NE(identify.err.find("the server refused the connection"), std::string::npos) << identify.err;
  // One server port by two spellings is one port.
  const CliRun twice = Cli({"update", "--port", "rfc2217://LocalHost:4001", "--port", "rfc2217://localhost:04001/"});
  EXPECT_EQ(twice.status, 2);
  EXPECT_NE(twice.err.find("name the same port"), std::string::npos) << twice.err;
}

void ExpectUpdatedWithEverySettingBack(const json& report, const std::string& who = "") {
  EXPECT_TRUE(report["imageMatches"].get<bool>()) << who;
  EXPECT_TRUE(report["faults"].empty()) << who << report["faults"].dump();
  EXPECT_EQ(report["firmware"]["version"], 150) << who;
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]) << who << ": every setting is back";
  EXPECT_NE(report["instrument"]["clockSet"], nullptr) << who;
}

// The whole update at the real wire speed: the server passes the loader's speed changes on.
TEST_F(NetworkPort, UpdatesATgxAtTheRealWireSpeed) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile, "--baud-timing"});
  Ser2NetServer server({sim.ptyPath}, dir_);
  const CliRun run = Cli({"update", "--port", server.Url(), "--yes"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Successfully updated the Pelloran TGX on " + server.Url()), std::string::npos);
  const json report = sim.Stop();
  ExpectUpdatedWithEverySettingBack(report);
  EXPECT_EQ(report["instrument"]["erasures"], 1);
}

// Every answer comes 50 ms later: the read time-outs allow for the round trip measured at the open.
TEST_F(NetworkPort, UpdatesThroughALinkWithFiftyMillisecondsOfRoundTrip) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile});
  Ser2NetServer server({sim.ptyPath}, dir_);
  const DelayProxy proxy(server.ports[0], 50);
  const CliRun run = Cli({"update", "--port", LoopbackUrl(proxy.port), "--yes"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  ExpectUpdatedWithEverySettingBack(sim.Stop());
}

TEST_F(NetworkPort, UpdatesFourDevicesOnFourServerPortsInOneRun) {
  std::vector<std::unique_ptr<DevsimProcess>> sims;
  std::vector<std::string> ptys;
  for (int unit = 1; unit <= 4; ++unit) {
    sims.push_back(std::make_unique<DevsimProcess>(
        std::vector<std::string>{"--device", "TGX:1.40", "--image", kImageFile, "--unit", std::to_string(unit)}));
    ptys.push_back(sims.back()->ptyPath);
  }
  Ser2NetServer server(ptys, dir_);
  std::vector<std::string> args = {"update", "--yes"};
  for (size_t i = 0; i < ptys.size(); ++i) args.insert(args.end(), {"--port", server.Url(i)});
  const CliRun run = Cli(args);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  for (size_t i = 0; i < sims.size(); ++i) ExpectUpdatedWithEverySettingBack(sims[i]->Stop(), server.Url(i));
}

// The server goes away in the middle of the upload (its host restarts, a cable is pulled): the
// run fails as after a hang-up, and the next run finishes the update from what the first one kept.
TEST_F(NetworkPort, AConnectionCutDuringTheUploadIsFinishedByTheNextRun) {
  DevsimProcess sim({"--device", "TGX:1.40", "--image", kImageFile});
  Ser2NetServer server({sim.ptyPath}, dir_);
  const std::vector<std::string> args = {"--data-dir", (dir_ / "data").string(), "update", "--port", server.Url(),
                                         "--yes"};
  {
    CliProcess first(VORN_CLI_PATH, args, dir_ / "first.err");
    ASSERT_TRUE(first.WaitForLine("stage: Uploading new firmware code...")) << first.seen;
    std::this_thread::sleep_for(std::chrono::milliseconds(kIntoTheUploadMs));
    server.Kill();
    EXPECT_EQ(first.Wait(), 1);
  }
  std::ifstream firstErr(dir_ / "first.err");
  std::stringstream text;
  text << firstErr.rdbuf();
  const std::string told = text.str();
  EXPECT_NE(told.find("Firmware Upload Error: "), std::string::npos) << told;
  EXPECT_NE(told.find("Comm Port \"" + server.Url() + "\": the server closed the connection."), std::string::npos)
      << told;
  server.Start();
  const CliRun second = Cli({"update", "--port", server.Url(), "--yes"});
  EXPECT_EQ(second.status, 0) << second.out << second.err;
  ExpectUpdatedWithEverySettingBack(sim.Stop());
}

// A logger through the server, its field settings back after the update.
TEST_F(NetworkPort, UpdatesALogger) {
#ifndef VORN_LG20_IMAGE
  GTEST_SKIP() << "no LG20 release was made (no Python)";
#else
  DevsimProcess sim({"--device", "LG20", "--image", VORN_LG20_IMAGE, "--name", "WEIR-07", "--logger-set",
                     "sn=LG20-000123", "--logger-set", "site=Pier of WEIR-07", "--logger-set", "wake=90"});
  Ser2NetServer server({sim.ptyPath}, dir_);
  const CliRun run = Cli({"update", "--port", server.Url(), "--firmware", VORN_LG20_IMAGE, "--yes"});
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const json report = sim.Stop();
  EXPECT_TRUE(report["imageMatches"].get<bool>());
  EXPECT_EQ(report["logger"]["version"], "2.10");
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]) << "every field setting is back";
  EXPECT_TRUE(report["faults"].empty()) << report["faults"].dump();
#endif
}

// A digital sensor behind a Fieldrex: the sensor's loader runs on the Fieldrex's port, lent to the
// loader engine (the network connection with it).
TEST_F(NetworkPort, UpdatesASensorBehindAFieldrex) {
  DevsimProcess sim({"--device", "FX", "--sensor", "]:1.40", "--sensor-set", "sn=S61-2207", "--image", kSensorImage});
  Ser2NetServer server({sim.ptyPath}, dir_);
  const CliRun run = Cli({"update", "--port", server.Url(), "--yes"}, VORN_SENSOR_CLI_PATH);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const json report = sim.Stop();
  EXPECT_TRUE(report["sensor"]["imageMatches"].get<bool>());
  EXPECT_EQ(report["sensor"]["version"], 150);
  EXPECT_EQ(report["sensor"]["serialNumber"], "S61-2207");
  EXPECT_TRUE(report["faults"].empty()) << report["faults"].dump();
}

}  // namespace
