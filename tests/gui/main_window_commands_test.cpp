// The Help menu's web services through the feedback window: the version check and
// the feedback form, against a loopback web host.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <functional>

#include "gui/feedback_window.h"
#include "gui/main_window_dialogs.h"
#include "gui/main_window_fixture.h"
#include "web_support/recording_ui.h"
#include "web_support/web_server.h"

namespace {

TEST_F(MainWindowTest, HelpMenuReachesTheWebServices) {
  const WebServer server;
  server.Put("index.html", "<html>Tessaly</html>");
  server.Put("versionfinder/TGXFirmware.txt", "1.50 http://downloads.example/TGX-1.50.exe");
  RecordingUi webUi;
  TfrmMain& window = Create({"vornbsl", "-rep"});
  TfrmWeb web(&window, &webUi);
  web.Client().host = WebHostUrl(server.Url());
  window.SetWebWindow(&web);
  window.show();

  Action("CheckforUpdates1")->trigger();
  ASSERT_FALSE(webUi.boxes.empty());
  EXPECT_EQ(webUi.boxes.back().text, "You are using the latest version of Pelloran TGX Firmware Updater.");

  Action("SendFeedbacktoTessaly1")->trigger();
  EXPECT_TRUE(web.isVisible());
  web.close();

  web.Client().host = WebHostUrl("http://127.0.0.1:" + std::to_string(UnusedPort()));
  webUi.boxes.clear();
  Action("SendFeedbacktoTessaly1")->trigger();
  ASSERT_EQ(webUi.boxes.size(), 1u);
  EXPECT_EQ(webUi.boxes[0].caption, "Internet Access Error");
  EXPECT_FALSE(web.isVisible());
}

}  // namespace

namespace {

// The question of whose settings a device gets, as the person answers it: the keyboard picks
// an option, and a dialog closed with Escape chose none of them.
TEST_F(MainWindowTest, WhoseSettingsIsAnsweredInTheRealDialog) {
  TfrmMain& window = Create({"vornbsl"});
  window.show();
  QtDialogs dialogs(&window);
  const std::vector<std::string> options = {"Pelloran TGX, serial number A1, saved 2026-12-10 14:03:11: unfinished",
                                            "Pelloran TGX, serial number B2, saved 2026-12-10 15:00:00: unfinished"};
  const auto answerWith = [](std::vector<int> keys) {
    QTimer::singleShot(0, [keys] {
      QWidget* shown = QApplication::activeModalWidget();
      ASSERT_NE(shown, nullptr);
      QWidget* list = shown->findChild<QListWidget*>();
      ASSERT_NE(list, nullptr);
      for (const int key : keys) QTest::keyClick(key == Qt::Key_Escape ? shown : list, static_cast<Qt::Key>(key));
    });
  };
  answerWith({Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
  EXPECT_EQ(dialogs.choose("Whose?", "Whose Settings", options, "None of these"), 1);
  answerWith({Qt::Key_Return});
  EXPECT_EQ(dialogs.choose("Whose?", "Whose Settings", options, "None of these"), kChoseNone) << "the default";
  answerWith({Qt::Key_Down, Qt::Key_Escape});
  EXPECT_EQ(dialogs.choose("Whose?", "Whose Settings", options, "None of these"), kChoseNone) << "closed unanswered";
}

}  // namespace

namespace {

// The "Network Ports..." dialog as the person fills it in: a host and a port typed and Add
// clicked, a listed port picked and Remove clicked, the dialog closed with Escape.
TEST_F(MainWindowTest, NetworkPortsAreAnsweredInTheRealDialog) {
  TfrmMain& window = Create({"vornbsl"});
  window.show();
  QtDialogs dialogs(&window);
  using Action = NetworkPortsAnswer::Action;
  const auto answerWith = [](std::function<void(QWidget*)> fill) {
    QTimer::singleShot(0, [fill] {
      QWidget* shown = QApplication::activeModalWidget();
      ASSERT_NE(shown, nullptr);
      fill(shown);
    });
  };
  answerWith([](QWidget* shown) {
    QTest::keyClicks(shown->findChild<QLineEdit*>("networkHost"), "lab-server");
    QTest::keyClicks(shown->findChild<QLineEdit*>("networkPort"), "4001");
    QTest::mouseClick(shown->findChild<QPushButton*>("addNetworkPort"), Qt::LeftButton);
  });
  NetworkPortsAnswer answer = dialogs.networkPorts({"rfc2217://10.0.0.5:4002"});
  EXPECT_EQ(answer.action, Action::kAdd);
  EXPECT_EQ(answer.host, "lab-server");
  EXPECT_EQ(answer.port, "4001");

  answerWith([](QWidget* shown) {
    auto* remove = shown->findChild<QPushButton*>("removeNetworkPort");
    EXPECT_FALSE(remove->isEnabled()) << "nothing picked yet";
    shown->findChild<QListWidget*>("networkPortList")->setCurrentRow(1);
    QTest::mouseClick(remove, Qt::LeftButton);
  });
  answer = dialogs.networkPorts({"rfc2217://10.0.0.5:4002", "rfc2217://lab-server:4001"});
  EXPECT_EQ(answer.action, Action::kRemove);
  EXPECT_EQ(answer.index, 1);

  answerWith([](QWidget* shown) { QTest::keyClick(shown, Qt::Key_Escape); });
  EXPECT_EQ(dialogs.networkPorts({}).action, Action::kCancel);
}

}  // namespace
