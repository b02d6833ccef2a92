// A file another program holds open without sharing (a spreadsheet in use, as Windows
// keeps it) is told as such when it is chosen for the feedback post.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "web/feedback_post.h"
#include "web_support/recording_ui.h"

namespace fs = std::filesystem;

TEST(FeedbackFiles, AFileInUseIsToldAsSuch) {
  const fs::path file = fs::temp_directory_path() / "vorn_readings_in_use.csv";
  std::ofstream(file) << "time,level\n";
  const HANDLE holder = CreateFileW(file.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  RecordingUi ui;
  MultipartForm form;
  EXPECT_FALSE(AttachFile(form, file.string(), true, ui));
  EXPECT_TRUE(form.parts.empty());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Error Reading File");
  EXPECT_EQ(ui.boxes[0].text, "Error sending the file \"vorn_readings_in_use.csv\". \n"
                              "The file is open and in use with another application.\n\n"
                              "Please close the file and try again.");
  CloseHandle(holder);
  fs::remove(file);
}
