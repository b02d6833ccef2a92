// The window's own texts, word for word (their wording, misspellings included, is
// what people and their scripts know).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "window/window_texts.h"

namespace {

constexpr char kCaption[] = "Pelloran TGX Firmware Updater";
constexpr char kModel[] = "Pelloran TGX";

std::string ExpectedHelp(bool eraseWarning, bool sensorBuild) {
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

TEST(WindowTexts, HelpForEveryBuildAndWarning) {
  for (const bool warning : {false, true}) {
    for (const bool sensor : {false, true}) {
      const std::string text = HelpText(kCaption, kModel, warning, sensor);
      const std::string expected = ExpectedHelp(warning, sensor);
      ASSERT_EQ(text.substr(0, expected.size()), expected) << warning << sensor;
      // The maker's contact block closes it: three address lines, telephone, fax, e-mail, web, no line end.
      const std::string contact = text.substr(expected.size());
      EXPECT_EQ(std::count(contact.begin(), contact.end(), '\n'), 6);
      EXPECT_NE(contact.back(), '\n');
    }
  }
}

TEST(WindowTexts, About) {
  const std::string expected = "Firmware Updater for Windows\n\nVornBSL Engine version 2.3.4\n"
                               "Communication Protocol version 1.8.4\n\n";
  const std::string text = AboutText("2.3.4");
  ASSERT_EQ(text.substr(0, expected.size()), expected);
  EXPECT_EQ(text.find('\n', expected.size()), std::string::npos);  // the rights notice is one line
  EXPECT_NE(AboutText("").find("\nVornBSL Engine version Unknown\n"), std::string::npos);
}

TEST(WindowTexts, LaunchAndFileErrors) {
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

}  // namespace
