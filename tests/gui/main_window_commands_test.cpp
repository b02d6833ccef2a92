// Open firmware file, dump, help, about and the web services' menu items.
#include <QDir>
#include <QPushButton>

#include <algorithm>
#include <atomic>

#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "gui/feedback_window.h"
#include "gui/main_window_fixture.h"
#include "gui/main_window_texts.h"
#include "web_support/recording_ui.h"
#include "web_support/web_server.h"

namespace {

constexpr char kSmallImage[] = "@5C00\n01 02 03 04\n@FFE0\n00 11 22 33\nq\n";
constexpr size_t kSmallImageTextLength = 14;  // "@05C0002010403"

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class CommandsTest : public MainWindowTest {
 protected:
  std::string WriteFile(const std::string& name, const std::string& contents) {
    const std::string path = DataPath(name);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
  }
  void Choose(const std::string& path) { dialogs_.openPath = Q(path); }
};

TEST_F(CommandsTest, OpeningAFirmwareFileRetargetsTheWindow) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  ASSERT_FALSE(Find<QPushButton>("btnStart")->isEnabled());  // no ports
  Choose(WriteFile("LX40 2-10.txt", kSmallImage));
  Action("OpenFirmwareFile1")->trigger();

  ASSERT_EQ(dialogs_.openSpecs.size(), 1u);
  EXPECT_EQ(dialogs_.openSpecs[0].title, "Please select a firmware file");
  EXPECT_EQ(dialogs_.openSpecs[0].folder, QDir::currentPath());
  EXPECT_EQ(dialogs_.openSpecs[0].filter, "Firmware File (*.txt);;Any File (*)");
  EXPECT_EQ(dialogs_.openSpecs[0].defaultSuffix, "txt");
  EXPECT_TRUE(dialogs_.Titled("File Error").empty());

  const UpdaterState& state = window.State();
  EXPECT_EQ(Text("userText2"), "LX40 2.10");
  EXPECT_EQ(Text("userText1"), "This utility updates Lumeno LX-40 firmware to");
  EXPECT_EQ(Text("commLabel"), "Connect to Lumeno LX-40 with Comm Port");
  EXPECT_EQ(Text("lblConnect"), "Connect Lumeno LX-40 to computer comm port.");
  EXPECT_EQ(state.modelName, "Lumeno LX-40");
  EXPECT_EQ(state.caption, kCaption);
  EXPECT_EQ(window.windowTitle(), kCaption);
  EXPECT_EQ(state.imageVersion, 210u);
  EXPECT_EQ(state.settingsFile, DataPath("Lumeno LX-40.settings.txt"));
  EXPECT_EQ(state.eraseStep, 1);
  EXPECT_FLOAT_EQ(state.uploadStep, 35328.0f / kSmallImageTextLength);
  EXPECT_EQ(window.Engine()->deviceType, 8);
  EXPECT_TRUE(Find<QPushButton>("btnStart")->isEnabled());
  EXPECT_TRUE(Action("UpdateFirmware1")->isEnabled());

  // A run started now works with the file's model.
  std::string runSettingsFile;
  std::atomic<bool> ran{false};
  window.SetUpdateRunner([&](UpdateRun& run) {
    runSettingsFile = run.state.settingsFile;
    ran = true;
    return 1;
  });
  Action("UpdateFirmware1")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ran && !window.RunActive(); }, kWaitMs));
  EXPECT_EQ(runSettingsFile, DataPath("Lumeno LX-40.settings.txt"));

  // A name that gives no kind addresses the window to the built-in kind again.
  Choose(WriteFile("custom.txt", kSmallImage));
  Action("OpenFirmwareFile1")->trigger();
  EXPECT_EQ(window.Engine()->deviceType, 16);
  EXPECT_EQ(state.modelName, kModel);
  EXPECT_EQ(Text("userText2"), "custom");
  EXPECT_EQ(Text("userText1"), "This utility updates Pelloran TGX firmware to");
  EXPECT_EQ(state.imageVersion, 0u);
}

TEST_F(CommandsTest, FilesThatCannotBeOpenedLeaveEverythingAsItWas) {
  TfrmMain& window = Open({"vornbsl", "-factory"});
  const struct {
    std::string path;
    const char* text;
  } cases[] = {
      {WriteFile("junk.txt", "not a firmware file"),
       "The file \"junk.txt\" is not a valid firmware file.\nPlease choose a new firmware file to open."},
      {DataPath("missing.txt"),
       "The Pelloran TGX Firmware Updater could not opening \"missing.txt\".\nPlease try again.\nError -2"},
  };
  for (const auto& test : cases) {
    dialogs_.boxes.clear();
    Choose(test.path);
    window.OpenFirmwareFile1Click();
    ASSERT_EQ(dialogs_.boxes.size(), 1u) << test.path;
    EXPECT_EQ(dialogs_.boxes[0].title, "File Error");
    EXPECT_EQ(dialogs_.boxes[0].kind, kBoxError);
    EXPECT_EQ(dialogs_.boxes[0].text, test.text);
    EXPECT_EQ(window.Engine()->modelName, "TGX 1.50");
    EXPECT_EQ(window.Engine()->imageText.size(), BuiltInFirmware().text.size());
    EXPECT_EQ(Text("userText2"), "TGX 1.50");
    EXPECT_EQ(window.State().imageVersion, 150u);
  }
  EXPECT_NE(ErrorFileText().find("ErrorOK Told User:: The file \"junk.txt\""), std::string::npos);

  dialogs_.boxes.clear();
  Choose("");
  window.OpenFirmwareFile1Click();
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(dialogs_.openSpecs.size(), 3u);
}

TEST_F(CommandsTest, NoFileIsOpenedWhileARunSendsTheImage) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  Choose(WriteFile("LX40 2-10.txt", kSmallImage));
  std::atomic<bool> ran{false};
  window.SetUpdateRunner([&](UpdateRun&) {
    OnWindowThread([&] { window.OpenFirmwareFile1Click(); });
    ran = true;
    return 1;
  });
  Action("UpdateFirmware1")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ran && !window.RunActive(); }, kWaitMs));
  EXPECT_TRUE(dialogs_.openSpecs.empty());
  EXPECT_EQ(window.Engine()->modelName, "TGX 1.50");
}

TEST_F(CommandsTest, DumpWritesTheHeldImage) {
  TfrmMain& window = Open();
  dialogs_.savePath = Q(DataPath("dump.txt"));
  window.DumpFirmwareImage1Click();
  ASSERT_EQ(dialogs_.saveSpecs.size(), 1u);
  EXPECT_EQ(dialogs_.saveSpecs[0].title, "Save Firmware Image");
  EXPECT_EQ(dialogs_.saveSpecs[0].defaultSuffix, "txt");
  EXPECT_EQ(dialogs_.saveSpecs[0].filter, "");
  EXPECT_TRUE(dialogs_.Titled("Error").empty());

  HostBSL reference(nullptr, BuiltInFirmware());
  ASSERT_EQ(BSLWriteTIFile(reference, DataPath("reference.txt")), 1);
  const std::string dumped = ReadFile(DataPath("dump.txt"));
  EXPECT_FALSE(dumped.empty());
  EXPECT_EQ(dumped, ReadFile(DataPath("reference.txt")));

  dialogs_.savePath = Q(DataPath("no such folder/dump.txt"));
  window.DumpFirmwareImage1Click();
  const std::vector<ShownBox> errors = dialogs_.Titled("Error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].text, "Error saving firmware image: -2");
  EXPECT_EQ(errors[0].kind, kBoxWarning);

  dialogs_.savePath.clear();
  window.DumpFirmwareImage1Click();
  EXPECT_EQ(dialogs_.Titled("Error").size(), 1u);
}

std::string ExpectedHelp(bool eraseWarning, bool sensorBuild) {
  const std::string name = kModel;
  std::string text = "The Pelloran TGX Firmware Updater replaces the firmware that operates your Pelloran TGX.\n"
                     "Following the simple steps will help ensure a successful update.\n\n";
  if (eraseWarning) {
    text += "WARNING: Updating the firmware in your Pelloran TGX will erase any stored measurement data.\n"
            "Please download any measurement data stored in yourPelloran TGX that you want to save.\n\n";
  }
  text += "Before beginning these steps, please make sure your instrument is powered on.\n\n";
  text += sensorBuild ? "Step 1. Connect your Fieldrex and Pelloran TGX to an available serial communication port "
                        "\non your computer.\n\n"
                      : "Step 1. Connect your Pelloran TGX to an available serial communication port on your "
                        "computer.\n\n";
  text += "Step 2. Select the correct serial port from the Comm Port control.\n\n"
          "Step 3. Click the \"Start\" button. The updater shows progress in the Status area.\n\n"
          "WARNING: Do not disconnect your Pelloran TGX from the computer while the updater is running.\n"
          "An incomplete firmware update could leave your Pelloran TGX unusable.\n\n"
          "WARNING: Do not quit the Pelloran TGX Firmware Updater while the updater is running.\n"
          "An incomplete firmware update could leave your Pelloran TGX unusable.\n\n"
          "Step 4. Once the update is complete, you can disconnect your Pelloran TGX from the computer.\n"
          "Please verify your Pelloran TGX configuration is correct. Enjoy using the updated firmware version.\n\n"
          "If you have trouble with this Pelloran TGX Firmware Updater, Please contact VANTO or\n"
          "an authorized VANTO Group Distributor for help:\n\n";
  return text;
}

TEST_F(CommandsTest, HelpText) {
  TfrmMain& window = Open();
  window.Help2Click();
  const std::vector<ShownBox> help = dialogs_.Titled("Help");
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0].kind, kBoxPlain);
  const std::string shown = help[0].text.toStdString();
  const std::string expected = ExpectedHelp(true, false);
  ASSERT_EQ(shown.substr(0, expected.size()), expected);
  // The maker's contact block closes it: three address lines, telephone, fax, e-mail, web, no line end.
  const std::string contact = shown.substr(expected.size());
  EXPECT_EQ(std::count(contact.begin(), contact.end(), '\n'), 6);
  EXPECT_NE(contact.back(), '\n');

  for (const bool warning : {false, true}) {
    for (const bool sensor : {false, true}) {
      const std::string text = HelpText(kCaption, kModel, warning, sensor);
      EXPECT_EQ(text.substr(0, ExpectedHelp(warning, sensor).size()), ExpectedHelp(warning, sensor));
    }
  }
}

TEST_F(CommandsTest, AboutShowsTheCompiledInVersion) {
  TfrmMain& window = Open({"vornbsl", "-rep"});
  window.About1Click();
  const std::vector<ShownBox> about = dialogs_.Titled("About Pelloran TGX Firmware Updater");
  ASSERT_EQ(about.size(), 1u);
  EXPECT_EQ(about[0].kind, kBoxInformation);
  const std::string text = about[0].text.toStdString();
  const std::string expected = std::string("Firmware Updater for Windows\n\nVornBSL Engine version ") +
                               VORN_TEST_VERSION + "\nCommunication Protocol version 1.8.4\n\n";
  ASSERT_EQ(text.substr(0, expected.size()), expected);
  EXPECT_EQ(text.find('\n', expected.size()), std::string::npos);  // the rights notice is one line
  EXPECT_NE(AboutText("").find("\nVornBSL Engine version Unknown\n"), std::string::npos);

  // After a file is opened the box names its model; the menu item keeps its start-up caption.
  Choose(WriteFile("LX40 2-10.txt", kSmallImage));
  window.OpenFirmwareFile1Click();
  window.About1Click();
  EXPECT_EQ(dialogs_.Titled("About Lumeno LX-40 Firmware Updater").size(), 1u);
  EXPECT_EQ(Action("About1")->text(), "About Pelloran TGX Firmware Updater");
}

TEST(MainWindowTexts, LaunchErrors) {
  const struct {
    int error;
    const char* text;
  } cases[] = {
      {-60, "The Pelloran TGX Firmware Updater ran out of memory while allocating internal buffers.\n\n"
            "Please restart this application and try again."},
      {-101, "The internal firware file for this Pelloran TGX Firmware Updater is corrupt.\n\n"
             "Please restart this application and try again."},
      {-7, "The Pelloran TGX Firmware Updater got an unexpected error starting up.\n[Error: -7]\n\n"
           "Please restart this application and try again."},
  };
  for (const auto& test : cases) EXPECT_EQ(ConstructorErrorText(kCaption, test.error), test.text) << test.error;
  EXPECT_EQ(OpenFileErrorText(kCaption, "big.txt", -60),
            "The Pelloran TGX Firmware Updater ran out of memory opening \"big.txt\".\n"
            "Please restart this application and try again.");
}

TEST_F(CommandsTest, HelpMenuReachesTheWebServices) {
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
