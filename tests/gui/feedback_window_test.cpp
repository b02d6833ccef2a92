#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "gui/feedback_window.h"
#include "log/message_log.h"
#include "web_support/qt_test_main.h"
#include "web_support/recording_ui.h"
#include "web/web_host.h"
#include "web_support/web_server.h"

namespace fs = std::filesystem;

namespace {

constexpr char kCaption[] = "Pelloran TGX Firmware Updater";


class FeedbackWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QSettings(kSettingsOrganisation, kFeedbackSettingsApplication).clear();
    server_.Put("index.html", "<html>Tessaly Devices</html>");
    window_.Client().host = WebHostUrl(server_.Url());
    errorFile_ = server_.root + "/data/" + kCaption + ".errors.txt";
    fs::create_directories(server_.root + "/data");
    info_ = MakeFeedbackInfo(kCaption, "TGX 1.50", errorFile_, &window_.Settings());
  }

  template <typename Widget>
  Widget* Find(const char* name) {
    Widget* widget = window_.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }

  void Open() {
    window_.SetFeedbackInfo(info_);
    ASSERT_TRUE(window_.OpenFeedbackForm());
  }
  void FillIn() {
    Edit("edName")->setText("Ann Smith");
    Edit("edEmail")->setText("ann@hydro.example");
    Edit("edTelephone")->setText("555 0100");
    Edit("edCompany")->setText("Hydro Lab");
    Find<QComboBox>("cbFeedbackType")->setCurrentIndex(2);
    Find<QPlainTextEdit>("reDescription")->setPlainText("The clock was wrong.");
  }
  std::string ChosenFile(const char* name, uintmax_t size) {
    const std::string path = server_.root + "/chosen/" + name;
    server_.Put(std::string("chosen/") + name, "");
    fs::resize_file(path, size);
    return path;
  }

  WebServer server_;
  RecordingUi ui_;
  TfrmWeb window_{nullptr, &ui_};
  std::string errorFile_;
  FeedbackInfo info_;
};

TEST_F(FeedbackWindowTest, ShowingLoadsTheRememberedDetails) {
  QSettings settings(kSettingsOrganisation, kFeedbackSettingsApplication);
  settings.setValue("Name", "Ann Smith");
  settings.setValue("Company", "Hydro Lab");
  settings.setValue("Phone", "555 0100");
  settings.setValue("Email", "ann@hydro.example");
  settings.setValue("EmailTo", "rep@vanto.example");
  settings.sync();
  info_.registeredCompany = "Registered Co";
  Open();
  EXPECT_TRUE(window_.isVisible());
  EXPECT_EQ(window_.windowTitle(), "Send Feedback to VANTO");
  EXPECT_EQ(Edit("edName")->text(), "Ann Smith");
  EXPECT_EQ(Edit("edCompany")->text(), "Registered Co");
  EXPECT_EQ(Edit("edTelephone")->text(), "555 0100");
  EXPECT_EQ(Edit("edEmail")->text(), "ann@hydro.example");
  EXPECT_EQ(Edit("edEmailTo")->text(), "rep@vanto.example");
  EXPECT_EQ(Find<QComboBox>("cbRespondVia")->currentText(), "Email");
  EXPECT_EQ(Find<QComboBox>("cbFeedbackType")->currentIndex(), 0);
  EXPECT_EQ(Find<QLabel>("lblDescription")->text(), "Please describe the feedback below");
  Find<QComboBox>("cbFeedbackType")->setCurrentIndex(1);
  EXPECT_EQ(Find<QLabel>("lblDescription")->text(), "Please describe the feature suggestion below");
  EXPECT_FALSE(Find<QProgressBar>("pbWeb")->isVisible());

  auto* description = Find<QPlainTextEdit>("reDescription");
  description->setPlainText(QString(3000, u'x'));
  EXPECT_EQ(description->toPlainText().size(), static_cast<qsizetype>(kMaxDescriptionLength));
  window_.close();

  QSettings(kSettingsOrganisation, kFeedbackSettingsApplication).clear();
  info_.registeredCompany.clear();
  Open();
  EXPECT_EQ(Edit("edName")->text(), "");
  EXPECT_EQ(Edit("edEmailTo")->text(), "");
}

TEST_F(FeedbackWindowTest, EntryChecksStopBeforeAnythingIsSavedOrSent) {
  struct Case {
    const char* name;
    const char* email;
    const char* telephone;
    const char* emailTo;
    const char* caption;
    const char* focus;
  };
  const Case cases[] = {
      {"", "ann@hydro.example", "", "", "Missing Information", "edName"},
      {"Ann", "", "", "", "Missing Information", "edTelephone"},
      {"Ann", "ann@hydro.example", "", "rep.vanto.example", "Bad Email Address", "edEmailTo"},
      {"Ann", "ann @hydro.example", "", "", "Bad Email Address", "edEmail"},
  };
  Open();
  for (const Case& c : cases) {
    Edit("edName")->setText(c.name);
    Edit("edEmail")->setText(c.email);
    Edit("edTelephone")->setText(c.telephone);
    Edit("edEmailTo")->setText(c.emailTo);
    ui_.boxes.clear();
    Find<QPushButton>("btnSend")->click();
    ASSERT_EQ(ui_.boxes.size(), 1u) << c.focus;
    EXPECT_EQ(ui_.boxes[0].caption, c.caption);
    EXPECT_EQ(ui_.boxes[0].kind, kBoxWarning);
    EXPECT_EQ(window_.focusWidget(), Edit(c.focus));
  }
  EXPECT_FALSE(QSettings(kSettingsOrganisation, kFeedbackSettingsApplication).contains("Name"));
  EXPECT_FALSE(server_.Has("posted.json"));
  EXPECT_TRUE(window_.isVisible());
}

TEST_F(FeedbackWindowTest, ConfirmedPostThanksSavesAndCloses) {
  std::ofstream(errorFile_, std::ios::binary) << "7 Dec 2026 6:38:11 - VornBSL: BSLSendVectors successful\r\n";
  const MessageLog log = CreateMessageLog(errorFile_, kLogProtocol, false);
  window_.SendFeedback(info_, &log);
  ASSERT_TRUE(window_.isVisible());
  FillIn();
  bool barShown = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] { barShown = barShown || Find<QProgressBar>("pbWeb")->isVisible(); });
  watch.start(1);
  Find<QPushButton>("btnSend")->click();

  EXPECT_FALSE(window_.isVisible());
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Feedback Successfully Sent");
  EXPECT_EQ(ui_.boxes[0].text, "Thank you for submitting your Bug Report.");
  EXPECT_EQ(ui_.boxes[0].kind, kBoxInformation);
  EXPECT_TRUE(server_.Has("posted.json"));
  EXPECT_NE(server_.Read("posted.json").find("errors.txt"), std::string::npos);
  EXPECT_FALSE(barShown) << "a small post shows no bar";
  EXPECT_TRUE(Find<QPushButton>("btnSend")->isEnabled());
  const QSettings settings(kSettingsOrganisation, kFeedbackSettingsApplication);
  EXPECT_EQ(settings.value("Name").toString(), "Ann Smith");
  EXPECT_EQ(settings.value("Company").toString(), "Hydro Lab");
  EXPECT_EQ(settings.value("Phone").toString(), "555 0100");
  EXPECT_EQ(settings.value("Email").toString(), "ann@hydro.example");
  EXPECT_EQ(settings.value("EmailTo").toString(), "");
}

TEST_F(FeedbackWindowTest, UnconfirmedPostKeepsTheWindowOpen) {
  server_.Put("answer", "<html>Database unavailable</html>");
  Open();
  FillIn();
  Find<QComboBox>("cbFeedbackType")->setCurrentIndex(0);
  Find<QPushButton>("btnSend")->click();
  EXPECT_TRUE(window_.isVisible());
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Error Sending Feedback");
  EXPECT_EQ(ui_.boxes[0].text, "There was an error trying to send your General Feedback to Tessaly.\n\nPlease try again.");
  EXPECT_EQ(ui_.boxes[0].kind, kBoxWarning);
  EXPECT_EQ(Find<QPlainTextEdit>("reDescription")->toPlainText(), "The clock was wrong.");
}

TEST_F(FeedbackWindowTest, ChosenFileUpToEightMegabytes) {
  Open();
  ui_.chosenFile = ChosenFile("capture.bin", static_cast<uintmax_t>(kMaxSendFileBytes));
  window_.btnSendFileClick();
  EXPECT_EQ(ui_.dialogTitle, "Send File with Feedback");
  EXPECT_EQ(ui_.dialogFolder, info_.programFolder);
  EXPECT_EQ(Edit("edSendFile")->text(), "capture.bin");
  EXPECT_TRUE(ui_.boxes.empty());

  ui_.chosenFile = ChosenFile("bigger.bin", static_cast<uintmax_t>(kMaxSendFileBytes) + 1);
  window_.btnSendFileClick();
  EXPECT_EQ(Edit("edSendFile")->text(), "");
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "File Size Error");

  ui_.chosenFile.clear();
  window_.btnSendFileClick();
  EXPECT_EQ(Edit("edSendFile")->text(), "");
  EXPECT_EQ(ui_.boxes.size(), 1u);
}

TEST_F(FeedbackWindowTest, ClosingDuringASlowUploadAbortsIt) {
  server_.Put("slow", "");
  Open();
  FillIn();
  ui_.chosenFile = ChosenFile("capture.bin", 6 * 1024 * 1024);
  window_.btnSendFileClick();
  ASSERT_EQ(Edit("edSendFile")->text(), "capture.bin");

  auto* bar = Find<QProgressBar>("pbWeb");
  bool barShown = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!bar->isVisible()) return;
    barShown = true;
    window_.close();
  });
  watch.start(5);
  QElapsedTimer clock;
  clock.start();
  Find<QPushButton>("btnSend")->click();
  watch.stop();

  EXPECT_TRUE(barShown) << "an upload above 2 MB shows the bar";
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_FALSE(window_.isVisible());
  EXPECT_FALSE(bar->isVisible());
  EXPECT_FALSE(WebUploading(window_.Client()));
  EXPECT_TRUE(ui_.boxes.empty()) << "neither thanks nor an error once the window is closed";
  EXPECT_FALSE(server_.Has("posted.json"));
  EXPECT_TRUE(Find<QPushButton>("btnSend")->isEnabled());
}

TEST_F(FeedbackWindowTest, UnreachableHostShowsNoWindow) {
  window_.Client().host = WebHostUrl("http://127.0.0.1:" + std::to_string(UnusedPort()));
  window_.SetFeedbackInfo(info_);
  EXPECT_FALSE(window_.OpenFeedbackForm());
  EXPECT_FALSE(window_.isVisible());
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, "Internet Access Error");
  EXPECT_EQ(ui_.boxes[0].kind, kBoxError);
}

TEST_F(FeedbackWindowTest, VersionCheckSharesTheClient) {
  server_.Put("versionfinder/TGXFirmware.txt", "1.50 http://h.example/x.exe");
  EXPECT_EQ(window_.StartVersionCheck(false, 150, "/versionfinder/TGXFirmware.txt", "Pelloran TGX"), 150u);
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(window_.StartVersionCheck(true, 150, "/versionfinder/TGXFirmware.txt", "Pelloran TGX"), 150u);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, "You are using the latest version of Pelloran TGX Firmware Updater.");
}

}  // namespace

int main(int argc, char** argv) { return RunQtTests<QApplication>(argc, argv); }
