// The engine's whole loader sequence over a real pseudo-terminal against the
// simulated TGX: what reaches the device's flash is what the image holds.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "bsl/builtin_image.h"
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "bsl/host_bsl.h"
#include "devsim_process.h"

namespace {

const std::string kImageFile = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
constexpr uint32_t kTries = 3;

class LoaderUpload : public ::testing::Test {
 protected:
  void SetUp() override {
    logPath_ = std::filesystem::temp_directory_path() /
               ("vorn_upload_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt");
    std::filesystem::remove(logPath_);
    log_ = CreateMessageLog(logPath_.string(), 30, true);
    FillProfile(kDeviceTypeTGX, kVersionNotAsked, profile_);
  }
  void TearDown() override { std::filesystem::remove(logPath_); }

  std::vector<std::string> Args(std::initializer_list<std::string> extra) const {
    std::vector<std::string> args = {"--device", "TGX:1.40", "--image", kImageFile};
    args.insert(args.end(), extra);
    return args;
  }

  // The loader half of an update, stage by stage; the first failure is returned.
  int Upload(HostBSL& engine, const std::string& port) {
    int result = BSLConnect(engine, port, profile_.loaderBaud, true, kTries);
    if (result < 0) return result;
    result = BSLEraseINFO(engine, profile_.infoStart, profile_.infoSegments, profile_.infoSegmentSize,
                          profile_.twentyBit);
    if (result < 0) return result;
    result = BSLEraseFlash(engine, profile_.flashStart, profile_.flashEnd, profile_.twentyBit);
    if (result < 0) return result;
    result = BSLSendFirmware(engine, profile_.twentyBit);
    if (result < 0) return result;
    result = BSLSendVectors(engine);
    BSLDisconnect(engine);
    return result;
  }

  std::string LogText() const {
    std::ifstream in(logPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path logPath_;
  MessageLog log_;
  DeviceProfile profile_;
};

void ExpectImageArrived(const nlohmann::json& report) {
  EXPECT_TRUE(report["imageMatches"].get<bool>()) << report["firstImageMismatch"].dump();
  EXPECT_TRUE(report["vectorsWritten"].get<bool>());
  EXPECT_TRUE(report["faults"].empty()) << report["faults"].dump();
}

TEST_F(LoaderUpload, WritesTheWholeImageAndVectors) {
  DevsimProcess sim(Args({}));
  HostBSL engine(&log_, BuiltInFirmware());
  int calls = 0;
  engine.progress = [&calls](int, int, int, char) { return ++calls > 0; };
  ASSERT_EQ(Upload(engine, sim.ptyPath), 1);
  EXPECT_GT(calls, 700);  // one call per 512 image characters, plus the erase calls
  const nlohmann::json report = sim.Stop();
  ExpectImageArrived(report);
  EXPECT_EQ(report["vectors"][15].get<int>(), engine.vectorWords[15]);
  EXPECT_NE(LogText().find("BSLSendVectors successful"), std::string::npos);
}

TEST_F(LoaderUpload, RejectedBlocksAreRetriedAfterTheirAddress) {
  DevsimProcess sim(Args({"--fault", "nak@write:5x2", "--fault", "nak@erase:7"}));
  HostBSL engine(&log_, BuiltInFirmware());
  ASSERT_EQ(Upload(engine, sim.ptyPath), 1);
  const nlohmann::json report = sim.Stop();
  ExpectImageArrived(report);
  EXPECT_EQ(report["frames"]["@"].get<int>(), 4 + 2) << "the address is sent again before each retried block";
  EXPECT_EQ(report["injected"].size(), 3u);  // each firing is listed
}

TEST_F(LoaderUpload, FailuresEndWithTheirCodes) {
  struct Case {
    const char* name;
    std::vector<std::string> simArgs;
    int expected;
  };
  const Case cases[] = {
      {"no loader", {"--no-loader"}, kBslNoLoader},
      {"silent block", {"--fault", "silence@write:3x3"}, kBslNotConnected},
      {"refused block", {"--fault", "nak@write:3x3"}, kBslRejected},
      {"refused vectors", {"--fault", "nak@vectors:1x3"}, kBslRejected},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = Args({});
    args.insert(args.end(), c.simArgs.begin(), c.simArgs.end());
    DevsimProcess sim(args);
    HostBSL engine(&log_, BuiltInFirmware());
    EXPECT_EQ(Upload(engine, sim.ptyPath), c.expected) << c.name;
    sim.Stop();
  }
  EXPECT_NE(LogText().find("BSLInvocation failed with error -112"), std::string::npos);
}

TEST_F(LoaderUpload, CancelFromTheProgressHookStopsTheUpload) {
  DevsimProcess sim(Args({}));
  HostBSL engine(&log_, BuiltInFirmware());
  engine.progress = [](int, int done, int, char letter) { return letter != 'W' || done < 100000; };
  EXPECT_EQ(Upload(engine, sim.ptyPath), kBslCancelled);
  BSLDisconnect(engine);
  const nlohmann::json report = sim.Stop();
  EXPECT_FALSE(report["imageMatches"].get<bool>());
  EXPECT_FALSE(report["vectorsWritten"].get<bool>());
}

TEST_F(LoaderUpload, AnInterruptedUploadResumesInTheWaitingLoader) {
  DevsimProcess sim(Args({"--start-in-loader"}));
  HostBSL engine(&log_, BuiltInFirmware());
  ASSERT_EQ(Upload(engine, sim.ptyPath), 1);
  ExpectImageArrived(sim.Stop());
}

}  // namespace
