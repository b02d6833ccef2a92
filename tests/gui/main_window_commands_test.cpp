// The Help menu's web services through the feedback window: the version check and
// the feedback form, against a loopback web host.
#include "gui/feedback_window.h"
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
  web.Client().host = WebHostUrl(Q(server.Url()));
  window.SetWebWindow(&web);
  window.show();

  Action("CheckforUpdates1")->trigger();
  ASSERT_FALSE(webUi.boxes.empty());
  EXPECT_EQ(webUi.boxes.back().text, "You are using the latest version of Pelloran TGX Firmware Updater.");

  Action("SendFeedbacktoTessaly1")->trigger();
  EXPECT_TRUE(web.isVisible());
  web.close();

  web.Client().host = WebHostUrl(QStringLiteral("http://127.0.0.1:%1").arg(UnusedPort()));
  webUi.boxes.clear();
  Action("SendFeedbacktoTessaly1")->trigger();
  ASSERT_EQ(webUi.boxes.size(), 1u);
  EXPECT_EQ(webUi.boxes[0].caption, "Internet Access Error");
  EXPECT_FALSE(web.isVisible());
}

}  // namespace
