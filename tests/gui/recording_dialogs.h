// The main window's boxes and file dialogs, answered from a script and remembered.
#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "gui/main_window_dialogs.h"

struct ShownBox {
  QString text;
  QString title;
  int kind = -1;  // -1 for an OK/Cancel question
};

struct RecordingDialogs : MainWindowDialogs {
  void Box(QWidget*, const QString& text, const QString& title, int kind) override {
    boxes.push_back({text, title, kind});
    if (onBox) onBox(boxes.back());
  }
  bool Ask(QWidget*, const QString& text, const QString& title) override {
    boxes.push_back({text, title, -1});
    if (onBox) onBox(boxes.back());
    return answerOk;
  }
  QString OpenFile(QWidget*, const FileDialogRequest& request) override {
    openSpecs.push_back(request);
    return openPath;
  }
  QString SaveFile(QWidget*, const FileDialogRequest& request) override {
    saveSpecs.push_back(request);
    return savePath;
  }

  std::vector<ShownBox> Titled(const QString& title) const {
    std::vector<ShownBox> found;
    for (const ShownBox& box : boxes) {
      if (box.title == title) found.push_back(box);
    }
    return found;
  }

  std::vector<ShownBox> boxes;
  std::function<void(const ShownBox&)> onBox;  // runs while the "box" is open
  bool answerOk = true;
  QString openPath;  // empty: the dialog is cancelled
  QString savePath;
  std::vector<FileDialogRequest> openSpecs;
  std::vector<FileDialogRequest> saveSpecs;
};
