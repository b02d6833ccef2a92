// The main window's boxes and file dialogs, answered from a script and remembered.
#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "gui/main_window_dialogs.h"

struct ShownBox {
  QString text;
  QString title;
  int kind = -1;  // -1 for an OK/Cancel question, -2 for a choice
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
  int Choose(QWidget*, const QString& text, const QString& title, const QStringList& options,
             const QString& none) override {
    boxes.push_back({text, title, -2});
    choices.push_back({options, none});
    if (onBox) onBox(boxes.back());
    return choiceAnswer;
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
  struct Choice {
    QStringList options;
    QString none;
  };
  std::vector<Choice> choices;
  int choiceAnswer = -1;  // the option picked; -1: none of them
  QString openPath;  // empty: the dialog is cancelled
  QString savePath;
  std::vector<FileDialogRequest> openSpecs;
  std::vector<FileDialogRequest> saveSpecs;
};
