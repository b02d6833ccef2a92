// The web services' questions, answered from a script and remembered.
#pragma once

#include <string>
#include <vector>

#include "web/web_ui.h"

struct Box {
  std::string text;
  std::string caption;
  bool yesNo;
  int kind;
};

struct RecordingUi : WebUi {
  bool AskUser(const std::string& text, const std::string& caption, bool yesNo, int kind) override {
    boxes.push_back({text, caption, yesNo, kind});
    return yesNo && answerYes;
  }
  bool OpenUrl(const std::string& url) override {
    opened.push_back(url);
    return browserStarts;
  }
  std::string ChooseFile(const std::string& title, const std::string& folder, const std::string&) override {
    dialogTitle = title;
    dialogFolder = folder;
    return chosenFile;
  }

  std::vector<Box> boxes;
  std::vector<std::string> opened;
  bool answerYes = false;
  bool browserStarts = true;
  std::string chosenFile;
  std::string dialogTitle;
  std::string dialogFolder;
};
