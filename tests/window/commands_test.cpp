// Open firmware file, dump, help, about, the web services' menu items, the Settings
// toggles, and menu items that cannot be chosen.
#include <algorithm>
#include <atomic>

#include "bsl/builtin_image.h"
#include "bsl/host_bsl.h"
#include "window/window_fixture.h"
#include "window/window_texts.h"

namespace {

constexpr char kSmallImage[] = "@5C00\n01 02 03 04\n@FFE0\n00 11 22 33\nq\n";
constexpr size_t kSmallImageTextLength = 14;  // "@05C0002010403"

class WindowCommandsTest : public WindowCoreTest {
 protected:
  void Choose(const std::string& path) { dialogs_.openPath = path; }
};

TEST_F(WindowCommandsTest, OpeningAFirmwareFileRetargetsTheWindow) {
  WindowCore& window = Open({"vornbsl", "-rep"});
  ASSERT_FALSE(view_->Enabled(Control::btnStart));  // no ports
  Choose(WriteFile("LX40 2-10.txt", kSmallImage));
  window.menu(MenuId::OpenFirmwareFile1);

  ASSERT_EQ(dialogs_.openRequests.size(), 1u);
  const FileRequest& request = dialogs_.openRequests[0];
  EXPECT_EQ(request.title, "Please select a firmware file");
  EXPECT_EQ(request.folder, platform_.current);
  ASSERT_EQ(request.filters.size(), 2u);
  EXPECT_EQ(request.filters[0].name, "Firmware File");
  EXPECT_EQ(request.filters[0].pattern, "*.txt");
  EXPECT_EQ(request.filters[1].name, "Any File");
  EXPECT_EQ(request.filters[1].pattern, "*");
  EXPECT_EQ(request.defaultSuffix, "txt");
  EXPECT_TRUE(dialogs_.Titled("File Error").empty());

  const UpdaterState& state = window.State();
  EXPECT_EQ(view_->Text(Control::userText2), "LX40 2.10");
  EXPECT_EQ(view_->Text(Control::userText1), "This utility updates Lumeno LX-40 firmware to");
  EXPECT_EQ(view_->Text(Control::commLabel), "Connect to Lumeno LX-40 with Comm Port");
  EXPECT_EQ(view_->Text(Control::lblConnect), "Connect Lumeno LX-40 to computer comm port.");
  EXPECT_EQ(state.modelName, "Lumeno LX-40");
  EXPECT_EQ(state.caption, kCaption);
  EXPECT_EQ(view_->title, kCaption);
  EXPECT_EQ(state.imageVersion, 210u);
  EXPECT_EQ(state.settingsFile, DataPath("Lumeno LX-40.settings.txt"));
  EXPECT_EQ(state.eraseStep, 1);
  EXPECT_FLOAT_EQ(state.uploadStep, 35328.0f / kSmallImageTextLength);
  EXPECT_EQ(window.Engine()->deviceType, 8);
  EXPECT_EQ(view_->beeps, std::vector<int>{kBoxInformation});
  EXPECT_TRUE(view_->Enabled(Control::btnStart));
  EXPECT_TRUE(view_->menu.at(MenuId::UpdateFirmware1).enabled);

  // A run started now works with the file's model.
  std::string runSettingsFile;
  window.SetUpdateRunner([&](UpdateRun& run) {
    runSettingsFile = run.state.settingsFile;
    return 1;
  });
  window.menu(MenuId::UpdateFirmware1);
  RunToEnd();
  EXPECT_EQ(runSettingsFile, DataPath("Lumeno LX-40.settings.txt"));

  // A name that gives no kind addresses the window to the built-in kind again.
  Choose(WriteFile("custom.txt", kSmallImage));
  window.menu(MenuId::OpenFirmwareFile1);
  EXPECT_EQ(window.Engine()->deviceType, 16);
  EXPECT_EQ(state.modelName, kModel);
  EXPECT_EQ(view_->Text(Control::userText2), "custom");
  EXPECT_EQ(view_->Text(Control::userText1), "This utility updates Pelloran TGX firmware to");
  EXPECT_EQ(state.imageVersion, 0u);
}

TEST_F(WindowCommandsTest, FilesThatCannotBeOpenedLeaveEverythingAsItWas) {
  WindowCore& window = Open({"vornbsl", "-factory"});
  const struct {
    std::string path;
    const char* text;
  } cases[] = {
      {WriteFile("junk.txt", "not a firmware file"),
       "The file \"junk.txt\" is not a valid firmware file.\nPlease choose a new firmware file to open."},
      // The person's own name for a file, whatever its letters.
      {WriteFile("M\u00fcller Ger\u00e4t.txt", "not a firmware file"),
       "The file \"M\u00fcller Ger\u00e4t.txt\" is not a valid firmware file.\nPlease choose a new firmware file to "
       "open."},
      {DataPath("missing.txt"),
       "The Pelloran TGX Firmware Updater could not opening \"missing.txt\".\nPlease try again.\nError -2\n"
       "No such file or folder."},
  };
  for (const auto& test : cases) {
    dialogs_.boxes.clear();
    Choose(test.path);
    window.menu(MenuId::OpenFirmwareFile1);
    ASSERT_EQ(dialogs_.boxes.size(), 1u) << test.path;
    EXPECT_EQ(dialogs_.boxes[0].title, "File Error");
    EXPECT_EQ(dialogs_.boxes[0].kind, kBoxError);
    EXPECT_EQ(dialogs_.boxes[0].text, test.text);
    EXPECT_EQ(window.Engine()->modelName, "TGX 1.50");
    EXPECT_EQ(window.Engine()->imageText.size(), BuiltInFirmware().text.size());
    EXPECT_EQ(view_->Text(Control::userText2), "TGX 1.50");
    EXPECT_EQ(window.State().imageVersion, 150u);
    EXPECT_TRUE(view_->beeps.empty());
  }
  EXPECT_NE(ErrorFileText().find("ErrorOK Told User:: The file \"junk.txt\""), std::string::npos);

  dialogs_.boxes.clear();
  Choose("");
  window.menu(MenuId::OpenFirmwareFile1);
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(dialogs_.openRequests.size(), 4u);
}

TEST_F(WindowCommandsTest, NoFileIsOpenedWhileARunSendsTheImage) {
  WindowCore& window = Open({"vornbsl", "-rep"});
  Choose(WriteFile("LX40 2-10.txt", kSmallImage));
  window.SetUpdateRunner([&](UpdateRun&) {
    OnWindowThread([&] { window.menu(MenuId::OpenFirmwareFile1); });
    return 1;
  });
  window.menu(MenuId::UpdateFirmware1);
  RunToEnd();
  EXPECT_TRUE(dialogs_.openRequests.empty());
  EXPECT_EQ(window.Engine()->modelName, "TGX 1.50");
}

TEST_F(WindowCommandsTest, DumpWritesTheHeldImageThroughItsShortcutOnly) {
  WindowCore& window = Open();
  EXPECT_FALSE(view_->menu.at(MenuId::DumpFirmwareImage1).visible);
  dialogs_.savePath = DataPath("dump.txt");
  window.menu(MenuId::DumpFirmwareImage1);  // its shortcut: the item itself is never shown
  ASSERT_EQ(dialogs_.saveRequests.size(), 1u);
  EXPECT_EQ(dialogs_.saveRequests[0].title, "Save Firmware Image");
  EXPECT_EQ(dialogs_.saveRequests[0].defaultSuffix, "txt");
  EXPECT_TRUE(dialogs_.saveRequests[0].filters.empty());
  EXPECT_TRUE(dialogs_.Titled("Error").empty());

  HostBSL reference(nullptr, BuiltInFirmware());
  ASSERT_EQ(BSLWriteTIFile(reference, DataPath("reference.txt")), 1);
  const std::string dumped = ReadFile(DataPath("dump.txt"));
  EXPECT_FALSE(dumped.empty());
  EXPECT_EQ(dumped, ReadFile(DataPath("reference.txt")));

  dialogs_.savePath = DataPath("no such folder/dump.txt");
  window.menu(MenuId::DumpFirmwareImage1);
  const std::vector<ShownBox> errors = dialogs_.Titled("Error");
  ASSERT_EQ(errors.size(), 1u);
  // The system's reason follows the number, in words.
  EXPECT_EQ(errors[0].text, "Error saving firmware image: -2\nNo such file or folder.");
  EXPECT_EQ(errors[0].kind, kBoxWarning);

  dialogs_.savePath.clear();
  window.menu(MenuId::DumpFirmwareImage1);
  EXPECT_EQ(dialogs_.Titled("Error").size(), 1u);
}

TEST_F(WindowCommandsTest, ItemsThatCannotBeChosenDoNothing) {
  WindowCore& window = Open();  // neither repair nor factory mode
  Choose(WriteFile("LX40 2-10.txt", kSmallImage));
  const MenuId unavailable[] = {MenuId::OpenFirmwareFile1, MenuId::VerboseErrorFile1, MenuId::DontEraseData1,
                                MenuId::ReplaceSerialNumber1, MenuId::SetDigitalSensorto1, SensorItemId(0)};
  for (const MenuId id : unavailable) window.menu(id);
  EXPECT_TRUE(dialogs_.openRequests.empty());
  EXPECT_TRUE(window.State().verbose);
  EXPECT_FALSE(window.State().dontEraseData);
  EXPECT_FALSE(window.State().replaceSerialNumber);
  EXPECT_EQ(window.State().modelName, kModel);
  for (const MenuId id : unavailable) EXPECT_EQ(view_->menu.at(id), FindMenuEntry(id)->start);
}

TEST_F(WindowCommandsTest, SettingsToggles) {
  WindowCore& window = Open({"vornbsl", "-factory"});
  window.menu(MenuId::ReplaceSerialNumber1);
  EXPECT_TRUE(window.State().replaceSerialNumber);
  EXPECT_TRUE(view_->menu.at(MenuId::ReplaceSerialNumber1).checked);
  EXPECT_TRUE(view_->Visible(Control::newSNstr));
  EXPECT_TRUE(view_->Visible(Control::newSN));
  EXPECT_EQ(view_->focused, std::vector<Control>{Control::newSNstr});
  window.menu(MenuId::ReplaceSerialNumber1);
  EXPECT_FALSE(window.State().replaceSerialNumber);
  EXPECT_FALSE(view_->Visible(Control::newSNstr));
  EXPECT_FALSE(view_->Visible(Control::newSN));

  window.menu(MenuId::DontEraseData1);
  EXPECT_TRUE(window.State().dontEraseData);
  EXPECT_TRUE(view_->menu.at(MenuId::DontEraseData1).checked);
  window.menu(MenuId::ForceFindAllCommPorts1);
  EXPECT_TRUE(window.State().forceFindAllPorts);
  // The verbose item is disabled, so the log stays at protocol level.
  window.menu(MenuId::VerboseErrorFile1);
  EXPECT_TRUE(window.State().verbose);
  EXPECT_EQ(window.Log()->level, 30u);
}

TEST_F(WindowCommandsTest, HelpAndAbout) {
  WindowCore& window = Open({"vornbsl", "-rep"});
  window.menu(MenuId::Help2);
  const std::vector<ShownBox> help = dialogs_.Titled("Help");
  ASSERT_EQ(help.size(), 1u);
  EXPECT_EQ(help[0].kind, kBoxPlain);
  EXPECT_EQ(help[0].text, HelpText(kCaption, kModel, true, false)) << "the TGX's help warns of the data erase";

  window.menu(MenuId::About1);
  const std::vector<ShownBox> about = dialogs_.Titled("About Pelloran TGX Firmware Updater");
  ASSERT_EQ(about.size(), 1u);
  EXPECT_EQ(about[0].kind, kBoxInformation);
  EXPECT_EQ(about[0].text, AboutText(VORN_TEST_VERSION));
  EXPECT_NE(about[0].text.find(std::string("\nVornBSL Engine version ") + VORN_TEST_VERSION + "\n"), std::string::npos);

  // After a file is opened the box names its model; the menu item keeps its start-up caption.
  Choose(WriteFile("LX40 2-10.txt", kSmallImage));
  window.menu(MenuId::OpenFirmwareFile1);
  window.menu(MenuId::About1);
  EXPECT_EQ(dialogs_.Titled("About Lumeno LX-40 Firmware Updater").size(), 1u);
  EXPECT_EQ(view_->captions.at(MenuId::About1), "About Pelloran TGX Firmware Updater");
  EXPECT_NE(ErrorFileText().find("ErrorOK Told User:: Firmware Updater for Windows"), std::string::npos);
}

// Where the program's file records its version (a Windows version resource), About names that
// version; a file that records none reads "Unknown".
TEST_F(WindowCommandsTest, AboutNamesTheVersionTheProgramFileRecords) {
  const struct {
    std::string recorded;
    std::string shown;
  } cases[] = {{"1.0.7", "1.0.7"}, {"", "Unknown"}};
  for (const auto& each : cases) {
    platform_.fileVersion = each.recorded;
    dialogs_.boxes.clear();
    WindowCore& window = Open({"vornbsl", "-rep"});
    window.menu(MenuId::About1);
    ASSERT_EQ(dialogs_.boxes.size(), 1u) << each.recorded;
    EXPECT_NE(dialogs_.boxes[0].text.find("\nVornBSL Engine version " + each.shown + "\n"), std::string::npos)
        << dialogs_.boxes[0].text;
  }
}

TEST_F(WindowCommandsTest, HelpMenuReachesTheWebServices) {
  WindowCore& window = Open({"vornbsl", "-rep"});
  window.menu(MenuId::CheckforUpdates1);
  ASSERT_EQ(web_.checks.size(), 1u);
  EXPECT_TRUE(web_.checks[0].reported);
  EXPECT_EQ(web_.checks[0].version, 150u);
  EXPECT_EQ(web_.checks[0].path, "/versionfinder/TGXFirmware.txt");
  EXPECT_EQ(web_.checks[0].deviceName, kModel);

  window.menu(MenuId::SendFeedbacktoTessaly1);
  ASSERT_EQ(web_.feedback.size(), 1u);
  EXPECT_EQ(web_.feedback[0].caption, kCaption);
  EXPECT_EQ(web_.feedback[0].imageLabel, "TGX 1.50");
  EXPECT_EQ(web_.feedback[0].errorFile, DataPath("Pelloran TGX Firmware Updater.errors.txt"));
  EXPECT_EQ(web_.feedbackLogs[0], window.Log());

  // A window without web services: the items do nothing.
  window.SetWeb(nullptr);
  window.menu(MenuId::CheckforUpdates1);
  window.menu(MenuId::SendFeedbacktoTessaly1);
  EXPECT_EQ(web_.checks.size(), 1u);
  EXPECT_EQ(web_.feedback.size(), 1u);
}

}  // namespace
