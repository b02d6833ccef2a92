// The web services' questions, answered from a script and remembered.
#pragma once

#include <vector>

#include "web/web_ui.h"

struct Box {
  QString text;
  QString caption;
  bool yesNo;
  int kind;
};

struct RecordingUi : WebUi {
  bool AskUser(const QString& text, const QString& caption, bool yesNo, int kind) override {
    boxes.push_back({text, caption, yesNo, kind});
    return yesNo && answerYes;
  }
  bool OpenUrl(const QUrl& url) override {
    opened.push_back(url);
    return browserStarts;
  }
  QString ChooseFile(const QString& title, const QString& folder, const QString&) override {
    dialogTitle = title;
    dialogFolder = folder;
    return chosenFile;
  }

  std::vector<Box> boxes;
  std::vector<QUrl> opened;
  bool answerYes = false;
  bool browserStarts = true;
  QString chosenFile;
  QString dialogTitle;
  QString dialogFolder;
};
