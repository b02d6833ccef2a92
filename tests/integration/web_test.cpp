// The web services against a real web host on loopback, through the platform's own
// transport: Qt Network on Linux, WinHTTP in the Windows build under wine.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "log/message_log.h"
#include "web/check_version_command.h"
#include "web/feedback_post.h"
#include "web/version_finder.h"
#include "web/web_host.h"
#include "web/web_platform.h"
#include "web_support/recording_ui.h"
#include "web_support/test_transport.h"
#include "web_support/web_server.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char kPath[] = "/versionfinder/TGXFirmware.txt";
constexpr char kLabel[] = "Pelloran TGX Firmware Updater";
constexpr uint32_t kHeld = 150;
constexpr char kConnectHead[] =
    "Error connecting to Tessaly's version check service.\nThis feature requires your computer to be connected \n"
    "to the internet.\n\n\nPlease make a connection to the internet and try again.\n\nError: ";

bool StartsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::string LocalHost(int port) { return "http://127.0.0.1:" + std::to_string(port); }

class WebTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_.transport = transport_.get();
    client_.host = WebHostUrl(server_.Url());
    server_.Put("index.html", "<html>Tessaly Devices</html>");
  }

  uint32_t Find(bool quiet, const char* path = kPath, uint32_t current = kHeld) {
    return FindVersion(client_, ui_, current, path, quiet, kLabel);
  }
  std::string Requests() const { return server_.Read("requests.log"); }

  WebServer server_;
  int handled_ = 0;  // front-end events handled while requests waited
  std::unique_ptr<WebTransport> transport_ = MakeTestTransport(&handled_);
  WebClient client_;
  RecordingUi ui_;
};

TEST_F(WebTest, NewerDownloadIsOfferedAndOpened) {
  const std::string link = "https://software.tessaly.example/VornTGX-151.exe";
  server_.Put(kPath, "1.51 " + link);
  ui_.answerYes = true;
  EXPECT_EQ(Find(true), 151u);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "New Version Available");
  EXPECT_EQ(ui_.boxes[0].text,
            "There is newer version of Pelloran TGX Firmware Updater available for download.\n\n"
            "Would you like to download this new version with your web browser now?");
  EXPECT_TRUE(ui_.boxes[0].yesNo);
  EXPECT_EQ(ui_.boxes[0].kind, kBoxInformation);
  ASSERT_EQ(ui_.opened.size(), 1u);
  EXPECT_EQ(ui_.opened[0], link);

  ui_.browserStarts = false;
  EXPECT_EQ(Find(false), 151u);
  ASSERT_EQ(ui_.boxes.size(), 3u);
  EXPECT_EQ(ui_.boxes[2].caption, "Web Browser Launch Error");
  EXPECT_EQ(ui_.boxes[2].text, "Pelloran TGX Firmware Updater had trouble launching your web browser.\n"
                               "Please try manually going to:\n" + link);
  EXPECT_EQ(ui_.boxes[2].kind, kBoxWarning);
}

TEST_F(WebTest, NewerPageIsOfferedWithItsAddress) {
  const std::string link = "https://www.tessaly.example/tgx/news.html";
  server_.Put(kPath, "151\n" + link + "\n");
  EXPECT_EQ(Find(true), 151u);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, "There is information about a newer version of Pelloran TGX Firmware Updater\n"
                               "available at " + link +
                               "\n\nWould you like to visit this page with your web browser now?");
  EXPECT_TRUE(ui_.opened.empty()) << "the person said No";
}

TEST_F(WebTest, SameOrOlderIsToldOnlyWhenAsked) {
  server_.Put(kPath, "1.50 http://h.example/x.exe");
  EXPECT_EQ(Find(true), 150u);
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(Find(false), 150u);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Version Finder");
  EXPECT_EQ(ui_.boxes[0].text, "You are using the latest version of Pelloran TGX Firmware Updater.");

  server_.Put(kPath, "149 http://h.example/x.exe");
  EXPECT_EQ(Find(true), 149u);
  EXPECT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(Find(false), 149u);
  ASSERT_EQ(ui_.boxes.size(), 2u);
  EXPECT_EQ(ui_.boxes[1].text, "You are running a newer version of Pelloran TGX Firmware Updater\n"
                               "than is available from Tessaly's web site.");
  EXPECT_EQ(ui_.boxes[1].kind, kBoxInformation);
}

TEST_F(WebTest, UnreadableAnswerIsAParseErrorSilentAtStartUp) {
  server_.Put(kPath, "version 1.51, see our web site");
  EXPECT_EQ(Find(true), 0u);
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(Find(false), 0u);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Version Check Error");
  EXPECT_EQ(ui_.boxes[0].text, "Error parsing the version information returned by \n"
                               "Tessaly's version check service.\n[error -1002]\n\n"
                               "Please try again or contact Tessaly for help.");
  EXPECT_EQ(ui_.boxes[0].kind, kBoxError);
}

TEST_F(WebTest, HostDownIsAConnectErrorSilentAtStartUp) {
  client_.host = WebHostUrl(LocalHost(UnusedPort()));
  EXPECT_EQ(Find(true), 0u);
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(Find(false), 0u);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_TRUE(StartsWith(ui_.boxes[0].text, kConnectHead)) << ui_.boxes[0].text;
  EXPECT_GT(ui_.boxes[0].text.size(), std::string(kConnectHead).size()) << "the failure's own message follows";

  server_.Put(kPath, "151 http://h.example/x.exe");
  client_.host = WebHostUrl(server_.Url());
  EXPECT_EQ(Find(false, "/status/404"), 0u);
  ASSERT_EQ(ui_.boxes.size(), 2u);
  EXPECT_TRUE(StartsWith(ui_.boxes[1].text, kConnectHead)) << ui_.boxes[1].text;
  EXPECT_NE(ui_.boxes[1].text.find("404"), std::string::npos) << ui_.boxes[1].text;
}

TEST_F(WebTest, NothingIsAskedWithoutVersionOrPath) {
  server_.Put(kPath, "151 http://h.example/x.exe");
  EXPECT_EQ(Find(false, kPath, 0), 0u);
  EXPECT_EQ(Find(false, ""), 0u);
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(Requests(), "");
}

TEST_F(WebTest, RedirectsAreFollowedButNotForever) {
  server_.Put(kPath, "151 http://h.example/x.exe");
  EXPECT_EQ(Find(true, "/redirect-to/versionfinder/TGXFirmware.txt"), 151u);

  const Clock::time_point start = Clock::now();
  EXPECT_EQ(Find(false, "/redirect-loop"), 0u);
  EXPECT_LT(MillisecondsSince(start), 5000);
  ASSERT_EQ(ui_.boxes.size(), 2u) << "the offer of 1.51, then the failure";
  EXPECT_TRUE(StartsWith(ui_.boxes[1].text, kConnectHead)) << ui_.boxes[1].text;
  const std::string requests = Requests();
  std::istringstream lines(requests);
  int loops = 0;
  for (std::string line; std::getline(lines, line);) loops += line == "GET /redirect-loop";
  // Qt sends a request again when it went out on a connection the server had just dropped.
  EXPECT_LE(loops, 2 * (kMaxRedirects + 1)) << requests;
}

TEST_F(WebTest, HugeOrGarbageBodiesAreBounded) {
  const Clock::time_point start = Clock::now();
  const WebAnswer answer = WebGet(client_, "/huge", kMaxVersionFileBytes);
  EXPECT_LT(MillisecondsSince(start), 5000);
  EXPECT_TRUE(answer.tooLarge);
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(static_cast<int64_t>(answer.body.size()), kMaxVersionFileBytes);
  EXPECT_EQ(Find(false, "/huge"), 0u);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_NE(ui_.boxes[0].text.find("[error -1002]"), std::string::npos);

  std::mt19937 random(7);
  std::string garbage(4096, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  server_.Put("garbage.txt", garbage);
  EXPECT_EQ(Find(true, "/garbage.txt"), 0u);
  server_.Put("garbage.txt", garbage.substr(0, 100) + "http://h.example/" + garbage.substr(100));
  EXPECT_EQ(Find(true, "/garbage.txt"), 0u);
}

// A host that takes the request and never answers: whichever limit comes first ends the
// wait, told in the same words, while the window's events keep being handled. The
// deadline holds even where the transport's own call cannot be woken (WinHTTP).
TEST_F(WebTest, StalledHostTimesOutWhileEventsRun) {
  struct Case {
    int transferTimeoutMs;
    int deadlineMs;
    const char* told;
  };
  const Case cases[] = {
      {30000, 800, "\n\nError: The web host did not answer within 0.8 seconds."},
      {600, 30000, "\n\nError: The web host did not answer within 0.6 seconds."},
  };
  for (const Case& c : cases) {
    client_.transferTimeoutMs = c.transferTimeoutMs;
    client_.getDeadlineMs = c.deadlineMs;
    ui_.boxes.clear();
    handled_ = 0;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Find(false, "/stall"), 0u);
    const long long waited = MillisecondsSince(start);
    const int limit = std::min(c.transferTimeoutMs, c.deadlineMs);
    EXPECT_GE(waited, limit - 100) << c.told;
    EXPECT_LT(waited, limit + 2500) << c.told;
    EXPECT_GT(handled_, 10) << "the window's events were handled during the wait";
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_TRUE(EndsWith(ui_.boxes[0].text, c.told)) << ui_.boxes[0].text;
  }
}

TEST_F(WebTest, CommandLineCheckTellsTheOutcome) {
  server_.Put(kPath, "1.51 https://software.tessaly.example/VornTGX-151.exe");
  CheckVersionCommand command{server_.Url(), kHeld, VersionFinderPath(16), "Pelloran TGX"};
  std::ostringstream out, err;
  EXPECT_EQ(RunCheckVersionCommand(command, *transport_, nullptr, out, err), 0);
  EXPECT_EQ(out.str(),
            "current: 1.50\n"
            "New Version Available: There is newer version of Pelloran TGX Firmware Updater available for download."
            "\n\nWould you like to download this new version with your web browser now?\n"
            "latest: 1.51\nurl: https://software.tessaly.example/VornTGX-151.exe\n");
  EXPECT_EQ(err.str(), "");

  command.host = LocalHost(UnusedPort());
  std::ostringstream out2, err2;
  EXPECT_EQ(RunCheckVersionCommand(command, *transport_, nullptr, out2, err2), 1);
  EXPECT_TRUE(StartsWith(err2.str(), "Version Check Error: Error connecting to Tessaly's version check service."))
      << err2.str();

  command.host = "ftp://h.example";
  std::ostringstream out3, err3;
  EXPECT_EQ(RunCheckVersionCommand(command, *transport_, nullptr, out3, err3), 2);
}

// The feedback post, as the script on the web host receives it.

std::string FileContents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class FeedbackTest : public WebTest {
 protected:
  void SetUp() override {
    WebTest::SetUp();
    errorFile_ = server_.root + "/data/Pelloran TGX Firmware Updater.errors.txt";
    fs::create_directories(server_.root + "/data");
    info_ = MakeFeedbackInfo(kLabel, "TGX 1.50", errorFile_, nullptr);
    info_.defaultRecipient = "support@tessaly.example";
    entries_.name = "Ann Smith";
    entries_.company = "Hydro Lab";
    entries_.email = "ann@hydro.example";
    entries_.telephone = "555 0100";
    entries_.respondVia = 3;
    entries_.feedbackType = 2;
    entries_.description = "The clock was wrong\nafter the update.";
  }

  int Post() { return PostFeedback(client_, ui_, info_, entries_, error_); }

  std::string errorFile_;
  FeedbackInfo info_;
  FeedbackEntries entries_;
  std::string error_;
};

TEST_F(FeedbackTest, PostCarriesEveryPartInOrderWithTheTrimmedErrorFile) {
  std::string log;
  for (int line = 0; log.size() < 100000; ++line) log += "7 Dec 2026 6:38:11 - VornBSL: line " + std::to_string(line) + "\r\n";
  std::ofstream(errorFile_, std::ios::binary) << log;
  {
    const MessageLog messageLog = CreateMessageLog(errorFile_, kLogProtocol, false);
    PrepareErrorFile(&messageLog, kLabel);
  }
  const std::string trimmed = FileContents(errorFile_);
  ASSERT_LE(trimmed.size(), static_cast<size_t>(kErrorFileTail));
  ASSERT_GT(trimmed.size(), static_cast<size_t>(kErrorFileTail) - 100);
  EXPECT_EQ(log.substr(log.size() - trimmed.size()), trimmed);
  EXPECT_EQ(log[log.size() - trimmed.size() - 1], '\n') << "the tail starts on a whole line";

  server_.Put("chosen/readings.csv", "time,level\n1,2\n");
  entries_.sendFile = server_.root + "/chosen/readings.csv";
  ASSERT_EQ(Post(), kFeedbackSent) << error_;

  const PostedForm posted = server_.Posted();
  EXPECT_EQ(posted.path, kFeedbackPath);
  EXPECT_TRUE(StartsWith(posted.contentType, "multipart/form-data; boundary=")) << posted.contentType;
  EXPECT_EQ(posted.userAgent, "Mozilla/3.0 (compatible; Indy Library)");
  EXPECT_EQ(posted.accept, "text/html, */*");
  const std::pair<const char*, std::string> fields[] = {
      {"EmailTo", "support@tessaly.example"},
      {"EmailSubject", "Pelloran TGX Firmware Updater Bug Report"},
      {"Name", "Ann Smith"},
      {"Company Name", "Hydro Lab"},
      {"Email", "ann@hydro.example"},
      {"Telephone", "555 0100"},
      {"Respond Via", "Telephone (mid day is best)"},
      {"Registered Name", ""},
      {"Registered Company", ""},
      {"Software Version", "Pelloran TGX Firmware Updater version TGX 1.50"},
      {"Installation Path", ProgramFilePath()},
      {"Computer Information", ComputerInformation()},
      {"Feedback", "The clock was wrong\nafter the update."},
  };
  EXPECT_EQ(fs::path(ProgramFilePath()).stem(), "web_test");
  ASSERT_EQ(posted.parts.size(), std::size(fields) + 2);
  for (size_t i = 0; i < std::size(fields); ++i) {
    EXPECT_EQ(posted.parts[i].name, fields[i].first);
    EXPECT_EQ(posted.parts[i].data, fields[i].second) << fields[i].first;
    EXPECT_TRUE(posted.parts[i].filename.empty());
  }
  const PostedPart& errors = posted.parts[std::size(fields)];
  EXPECT_EQ(errors.name, "Pelloran TGX Firmware Updater.errors.txt");
  EXPECT_EQ(errors.filename, "Pelloran TGX Firmware Updater.errors.txt");
  EXPECT_EQ(errors.type, "text/plain");
  EXPECT_EQ(errors.data, trimmed);
  const PostedPart& chosen = posted.parts.back();
  EXPECT_EQ(chosen.filename, "readings.csv");
  EXPECT_EQ(chosen.type, "text/csv");
  EXPECT_EQ(chosen.data, "time,level\n1,2\n");
}

TEST_F(FeedbackTest, EmptyErrorFileIsNotedAndAMissingOneDoesNotStopThePost) {
  {
    const MessageLog messageLog = CreateMessageLog(errorFile_, kLogProtocol, false);
    PrepareErrorFile(&messageLog, kLabel);
  }
  EXPECT_NE(FileContents(errorFile_).find(
                " - Pelloran TGX Firmware Updater: Launching web feedback with an empty error file.\r\n"),
            std::string::npos);

  info_.attachments[0] = server_.root + "/data/gone.txt";
  entries_.emailTo = "rep@vanto.example";
  entries_.respondVia = -1;
  ASSERT_EQ(Post(), kFeedbackSent);
  const std::vector<PostedPart> parts = server_.Posted().parts;
  ASSERT_EQ(parts.size(), 13u) << "no file part";
  EXPECT_EQ(parts[0].data, "rep@vanto.example");
  EXPECT_EQ(parts[6].data, "Unknown RespondVia");
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(FeedbackTest, OnlyTheScriptsConfirmationCountsAsSent) {
  server_.Put("answer", "<html>Thanks!</html>");
  EXPECT_EQ(Post(), kFeedbackFailed);
  EXPECT_EQ(error_, "");
  server_.Put("answer", "...\nScript Completed\n...");
  EXPECT_EQ(Post(), kFeedbackSent);
  server_.Put("status", "500");
  EXPECT_EQ(Post(), kFeedbackFailed);
  EXPECT_FALSE(error_.empty());
  EXPECT_EQ(FeedbackFailure("Bug Report", error_),
            "There was an error trying to send your Bug Report to Tessaly.\n\nPlease try again.\n\nError: " + error_);
}

TEST_F(FeedbackTest, UnreadableChosenFileIsReportedAndNothingIsPosted) {
  entries_.sendFile = server_.root + "/chosen/vanished.bin";
  EXPECT_EQ(Post(), kFeedbackNotSent);
  EXPECT_FALSE(server_.Has("posted"));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Error Reading File");
  EXPECT_EQ(ui_.boxes[0].text, "Error sending the file \"vanished.bin\". \n"
                               "The file is empty or can't be found on the system.\n\n"
                               "Please check your file name and try again.");
  EXPECT_EQ(ui_.boxes[0].kind, kBoxError);
}

TEST_F(FeedbackTest, ChosenFileMayBeEightMegabytes) {
  const std::string path = server_.root + "/chosen/capture.bin";
  server_.Put("chosen/capture.bin", "");
  fs::resize_file(path, static_cast<uintmax_t>(kMaxSendFileBytes));
  EXPECT_TRUE(AcceptSendFile(ui_, path));
  EXPECT_TRUE(ui_.boxes.empty());
  fs::resize_file(path, static_cast<uintmax_t>(kMaxSendFileBytes) + 1);
  EXPECT_FALSE(AcceptSendFile(ui_, path));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "File Size Error");
  EXPECT_EQ(ui_.boxes[0].text, "The file \"capture.bin\" is too big.\n\n"
                               "The maximun file size you can send with your feedback\n"
                               "is 8 megabytes (this file is 8.0 MB).\n\nPlease choose a different file to send.");

  // A file that grew past the limit after it was chosen is not sent either.
  entries_.sendFile = path;
  EXPECT_EQ(Post(), kFeedbackNotSent);
  EXPECT_FALSE(server_.Has("posted"));
}

// Closing the window during an upload: the post stops at once and the script gets
// nothing, and the progress it showed is closed; a version check the person started
// meanwhile from the main window does not take the abort away from the upload.
TEST_F(FeedbackTest, AbortCutsASlowUploadOffAfterACheckMeanwhile) {
  server_.Put("slow", "");
  entries_.sendFile = server_.root + "/chosen/capture.bin";
  server_.Put("chosen/capture.bin", "");
  fs::resize_file(entries_.sendFile, 6 * 1024 * 1024);
  int64_t total = 0;
  int64_t lastSent = -1;
  int ends = 0;
  bool monotonic = true;
  UploadProgress progress;
  progress.begin = [&](int64_t size) { total = size; };
  bool checked = false;
  progress.work = [&](int64_t sent) {
    monotonic = monotonic && sent >= lastSent;
    lastSent = sent;
    if (sent == 0 || checked) return;
    checked = true;
    EXPECT_TRUE(WebGet(client_, "/index.html", kMaxHomePageBytes).ok);
    WebAbort(client_);
  };
  progress.end = [&] { ++ends; };
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(PostFeedback(client_, ui_, info_, entries_, error_, progress), kFeedbackFailed);
  EXPECT_LT(MillisecondsSince(start), 5000);
  EXPECT_TRUE(checked);
  EXPECT_FALSE(error_.empty());
  EXPECT_GT(total, 6 * 1024 * 1024);
  EXPECT_GT(lastSent, 0);
  EXPECT_LT(lastSent, total);
  EXPECT_TRUE(monotonic);
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(WebUploading(client_));
  EXPECT_FALSE(transport_->busy());
  EXPECT_FALSE(server_.Has("posted"));
}

TEST_F(FeedbackTest, UnreachableHostIsReported) {
  EXPECT_TRUE(OpenFeedbackForm(client_, ui_));
  EXPECT_TRUE(ui_.boxes.empty());
  client_.host = WebHostUrl(LocalHost(UnusedPort()));
  EXPECT_FALSE(OpenFeedbackForm(client_, ui_));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Internet Access Error");
  const std::string head = "Error connecting to Tessaly's customer feedback internet service.\n\n"
                           "This feature requires your computer to be connected to the internet\n"
                           "and be able to contact Tessaly's Web Site (127.0.0.1).\n\n"
                           "Please make a connection to the internet and try again.\n\nError: ";
  EXPECT_TRUE(StartsWith(ui_.boxes[0].text, head)) << ui_.boxes[0].text;
}

}  // namespace

int main(int argc, char** argv) { return RunWebTests(argc, argv); }
