#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "log/message_log.h"
#include "web/check_version_command.h"
#include "web/computer_information.h"
#include "web/feedback_post.h"
#include "web_support/qt_test_main.h"
#include "web_support/recording_ui.h"
#include "web/version_finder.h"
#include "web/web_host.h"
#include "web_support/web_server.h"

namespace fs = std::filesystem;

namespace {

constexpr char kPath[] = "/versionfinder/TGXFirmware.txt";
constexpr char kLabel[] = "Pelloran TGX Firmware Updater";
constexpr uint32_t kHeld = 150;

QString Q(const std::string& text) { return QString::fromStdString(text); }

class WebTest : public ::testing::Test {
 protected:
  void SetUp() override {
    client_.host = WebHostUrl(Q(server_.Url()));
    server_.Put("index.html", "<html>Tessaly Devices</html>");
  }

  uint32_t Find(bool quiet, const char* path = kPath, uint32_t current = kHeld) {
    return FindVersion(client_, ui_, current, path, quiet, kLabel);
  }
  std::string Requests() const { return server_.Read("requests.log"); }

  WebServer server_;
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
  EXPECT_EQ(ui_.opened[0].toString(), Q(link));

  ui_.browserStarts = false;
  EXPECT_EQ(Find(false), 151u);
  ASSERT_EQ(ui_.boxes.size(), 3u);
  EXPECT_EQ(ui_.boxes[2].caption, "Web Browser Launch Error");
  EXPECT_EQ(ui_.boxes[2].text, "Pelloran TGX Firmware Updater had trouble launching your web browser.\n"
                               "Please try manually going to:\n" + Q(link));
  EXPECT_EQ(ui_.boxes[2].kind, kBoxWarning);
}

TEST_F(WebTest, NewerPageIsOfferedWithItsAddress) {
  const std::string link = "https://www.tessaly.example/tgx/news.html";
  server_.Put(kPath, "151\n" + link + "\n");
  EXPECT_EQ(Find(true), 151u);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, "There is information about a newer version of Pelloran TGX Firmware Updater\n"
                               "available at " + Q(link) +
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
  client_.host = WebHostUrl(QStringLiteral("http://127.0.0.1:%1").arg(UnusedPort()));
  EXPECT_EQ(Find(true), 0u);
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(Find(false), 0u);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  const QString head =
      "Error connecting to Tessaly's version check service.\nThis feature requires your computer to be connected \n"
      "to the internet.\n\n\nPlease make a connection to the internet and try again.\n\nError: ";
  EXPECT_TRUE(ui_.boxes[0].text.startsWith(head)) << ui_.boxes[0].text.toStdString();
  EXPECT_GT(ui_.boxes[0].text.size(), head.size()) << "the failure's own message follows";

  server_.Put(kPath, "151 http://h.example/x.exe");
  client_.host = WebHostUrl(Q(server_.Url()));
  EXPECT_EQ(Find(false, "/status/404"), 0u);
  ASSERT_EQ(ui_.boxes.size(), 2u);
  EXPECT_TRUE(ui_.boxes[1].text.startsWith(head));
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

  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(Find(false, "/redirect-loop"), 0u);
  EXPECT_LT(clock.elapsed(), 5000);
  ASSERT_EQ(ui_.boxes.size(), 2u);
  EXPECT_TRUE(ui_.boxes[1].text.contains("[error") == false && ui_.boxes[1].text.contains("\n\nError: "));
  const std::string requests = Requests();
  std::istringstream lines(requests);
  int loops = 0;
  for (std::string line; std::getline(lines, line);) loops += line == "GET /redirect-loop";
  // Qt sends a request again when it went out on a connection the server had just dropped.
  EXPECT_LE(loops, 2 * (kMaxRedirects + 1)) << requests;
}

TEST_F(WebTest, HugeOrGarbageBodiesAreBounded) {
  QElapsedTimer clock;
  clock.start();
  WebAnswer answer = WebGet(client_, "/huge", kMaxVersionFileBytes);
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_TRUE(answer.tooLarge);
  EXPECT_FALSE(answer.ok);
  EXPECT_EQ(answer.body.size(), kMaxVersionFileBytes);
  EXPECT_EQ(Find(false, "/huge"), 0u);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_TRUE(ui_.boxes[0].text.contains("[error -1002]"));

  std::mt19937 random(7);
  std::string garbage(4096, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  server_.Put("garbage.txt", garbage);
  EXPECT_EQ(Find(true, "/garbage.txt"), 0u);
  server_.Put("garbage.txt", garbage.substr(0, 100) + "http://h.example/" + garbage.substr(100));
  EXPECT_EQ(Find(true, "/garbage.txt"), 0u);
}

TEST_F(WebTest, StalledHostTimesOutWhileEventsRun) {
  client_.getDeadlineMs = 800;
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(20);
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(Find(false, "/stall"), 0u);
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_GE(clock.elapsed(), 700);
  EXPECT_GT(ticks, 10) << "the event loop kept running during the wait";
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_TRUE(ui_.boxes[0].text.endsWith("\n\nError: The web host did not answer within 0.8 seconds."))
      << ui_.boxes[0].text.toStdString();
}

TEST_F(WebTest, QuittingEndsAWaitAsAFailure) {
  QTimer::singleShot(200, [] { QCoreApplication::exit(0); });
  QElapsedTimer clock;
  clock.start();
  const WebAnswer answer = WebGet(client_, "/stall", kMaxVersionFileBytes);
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_FALSE(answer.ok);
  EXPECT_FALSE(answer.error.isEmpty());

  // The quit stays pending for every later loop until the application's own loop has run.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

TEST_F(WebTest, CommandLineCheckTellsTheOutcome) {
  server_.Put(kPath, "1.51 https://software.tessaly.example/VornTGX-151.exe");
  CheckVersionCommand command{server_.Url(), kHeld, VersionFinderPath(16), "Pelloran TGX"};
  std::ostringstream out, err;
  EXPECT_EQ(RunCheckVersionCommand(command, out, err), 0);
  EXPECT_EQ(out.str(),
            "current: 1.50\n"
            "New Version Available: There is newer version of Pelloran TGX Firmware Updater available for download."
            "\n\nWould you like to download this new version with your web browser now?\n"
            "latest: 1.51\nurl: https://software.tessaly.example/VornTGX-151.exe\n");
  EXPECT_EQ(err.str(), "");

  command.host = "http://127.0.0.1:" + std::to_string(UnusedPort());
  std::ostringstream out2, err2;
  EXPECT_EQ(RunCheckVersionCommand(command, out2, err2), 1);
  EXPECT_EQ(err2.str().rfind("Version Check Error: Error connecting to Tessaly's version check service.", 0), 0u);

  command.host = "ftp://h.example";
  std::ostringstream out3, err3;
  EXPECT_EQ(RunCheckVersionCommand(command, out3, err3), 2);
}

// The feedback post, as the script on the web host receives it.

struct Part {
  QString name;
  QString filename;
  QString type;
  QByteArray data;
};

std::vector<Part> PostedParts(const WebServer& server, QJsonObject* posted = nullptr) {
  const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(server.Read("posted.json"))).object();
  if (posted != nullptr) *posted = object;
  std::vector<Part> parts;
  for (const QJsonValue& value : object["parts"].toArray()) {
    const QJsonObject part = value.toObject();
    parts.push_back({part["name"].toString(), part["filename"].toString(), part["type"].toString(),
                     QByteArray::fromBase64(part["data"].toString().toLatin1())});
  }
  return parts;
}

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
    info_ = MakeFeedbackInfo(kLabel, "TGX 1.50", Q(errorFile_));
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
  QString error_;
};

TEST_F(FeedbackTest, PostCarriesEveryPartInOrderWithTheTrimmedErrorFile) {
  std::string log;
  for (int line = 0; log.size() < 100000; ++line) log += "7 Dec 2026 6:38:11 - VornBSL: line " + std::to_string(line) + "\r\n";
  std::ofstream(errorFile_, std::ios::binary) << log;
  const MessageLog messageLog = CreateMessageLog(errorFile_, kLogProtocol, false);
  PrepareErrorFile(&messageLog, kLabel);
  const std::string trimmed = FileContents(errorFile_);
  ASSERT_LE(trimmed.size(), static_cast<size_t>(kErrorFileTail));
  ASSERT_GT(trimmed.size(), static_cast<size_t>(kErrorFileTail) - 100);
  EXPECT_EQ(log.substr(log.size() - trimmed.size()), trimmed);
  EXPECT_EQ(log[log.size() - trimmed.size() - 1], '\n') << "the tail starts on a whole line";

  server_.Put("chosen/readings.csv", "time,level\n1,2\n");
  entries_.sendFile = Q(server_.root + "/chosen/readings.csv");
  ASSERT_EQ(Post(), kFeedbackSent) << error_.toStdString();

  QJsonObject posted;
  const std::vector<Part> parts = PostedParts(server_, &posted);
  EXPECT_EQ(posted["path"].toString(), kFeedbackPath);
  EXPECT_TRUE(posted["content_type"].toString().startsWith("multipart/form-data; boundary="));
  EXPECT_EQ(posted["user_agent"].toString(), "Mozilla/3.0 (compatible; Indy Library)");
  EXPECT_EQ(posted["accept"].toString(), "text/html, */*");
  const std::pair<const char*, QString> fields[] = {
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
      {"Installation Path", QCoreApplication::applicationFilePath()},
      {"Computer Information", ComputerInformation()},
      {"Feedback", "The clock was wrong\nafter the update."},
  };
  ASSERT_EQ(parts.size(), std::size(fields) + 2);
  for (size_t i = 0; i < std::size(fields); ++i) {
    EXPECT_EQ(parts[i].name, fields[i].first);
    EXPECT_EQ(QString::fromUtf8(parts[i].data), fields[i].second) << fields[i].first;
    EXPECT_TRUE(parts[i].filename.isEmpty());
  }
  const Part& errors = parts[std::size(fields)];
  EXPECT_EQ(errors.name, "Pelloran TGX Firmware Updater.errors.txt");
  EXPECT_EQ(errors.filename, "Pelloran TGX Firmware Updater.errors.txt");
  EXPECT_EQ(errors.type, "text/plain");
  EXPECT_EQ(errors.data.toStdString(), trimmed);
  const Part& chosen = parts.back();
  EXPECT_EQ(chosen.filename, "readings.csv");
  EXPECT_EQ(chosen.type, "text/csv");
  EXPECT_EQ(chosen.data, "time,level\n1,2\n");
}

TEST_F(FeedbackTest, EmptyErrorFileIsNotedAndAMissingOneDoesNotStopThePost) {
  const MessageLog messageLog = CreateMessageLog(errorFile_, kLogProtocol, false);
  PrepareErrorFile(&messageLog, kLabel);
  EXPECT_NE(FileContents(errorFile_).find(
                " - Pelloran TGX Firmware Updater: Launching web feedback with an empty error file.\r\n"),
            std::string::npos);

  info_.attachments[0] = Q(server_.root + "/data/gone.txt");
  entries_.emailTo = "rep@vanto.example";
  entries_.respondVia = -1;
  ASSERT_EQ(Post(), kFeedbackSent);
  const std::vector<Part> parts = PostedParts(server_);
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
  EXPECT_FALSE(error_.isEmpty());
  EXPECT_EQ(FeedbackFailure("Bug Report", error_),
            "There was an error trying to send your Bug Report to Tessaly.\n\nPlease try again.\n\nError: " + error_);
}

TEST_F(FeedbackTest, UnreadableChosenFileIsReportedAndNothingIsPosted) {
  entries_.sendFile = Q(server_.root + "/chosen/vanished.bin");
  EXPECT_EQ(Post(), kFeedbackNotSent);
  EXPECT_FALSE(server_.Has("posted.json"));
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
  EXPECT_TRUE(AcceptSendFile(ui_, Q(path)));
  EXPECT_TRUE(ui_.boxes.empty());
  fs::resize_file(path, static_cast<uintmax_t>(kMaxSendFileBytes) + 1);
  EXPECT_FALSE(AcceptSendFile(ui_, Q(path)));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "File Size Error");
  EXPECT_EQ(ui_.boxes[0].text, "The file \"capture.bin\" is too big.\n\n"
                               "The maximun file size you can send with your feedback\n"
                               "is 8 megabytes (this file is 8.0 MB).\n\nPlease choose a different file to send.");

  // A file that grew past the limit after it was chosen is not sent either.
  entries_.sendFile = Q(path);
  EXPECT_EQ(Post(), kFeedbackNotSent);
  EXPECT_FALSE(server_.Has("posted.json"));
}

TEST_F(FeedbackTest, UnreachableHostIsReported) {
  EXPECT_TRUE(OpenFeedbackForm(client_, ui_));
  EXPECT_TRUE(ui_.boxes.empty());
  client_.host = WebHostUrl(QStringLiteral("http://127.0.0.1:%1").arg(UnusedPort()));
  EXPECT_FALSE(OpenFeedbackForm(client_, ui_));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Internet Access Error");
  const QString head = "Error connecting to Tessaly's customer feedback internet service.\n\n"
                       "This feature requires your computer to be connected to the internet\n"
                       "and be able to contact Tessaly's Web Site (127.0.0.1).\n\n"
                       "Please make a connection to the internet and try again.\n\nError: ";
  EXPECT_TRUE(ui_.boxes[0].text.startsWith(head)) << ui_.boxes[0].text.toStdString();
}

}  // namespace

int main(int argc, char** argv) { return RunQtTests<QCoreApplication>(argc, argv); }
