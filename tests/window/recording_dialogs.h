// The window's boxes and file dialogs, answered from a script and remembered. The
// core's tests and the Qt face's tests both hand it to the window.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/update_ui.h"
#include "window/window_dialogs.h"

inline constexpr int kAskedQuestion = -1;  // ShownBox::kind of an OK/Cancel question
inline constexpr int kAskedChoice = -2;    // ShownBox::kind of a choice

struct ShownBox {
  std::string text;
  std::string title;
  int kind = kAskedQuestion;
};

struct RecordingDialogs : WindowDialogs {
  void box(const std::string& text, const std::string& title, int kind) override { Show({text, title, kind}); }
  bool ask(const std::string& text, const std::string& title) override {
    Show({text, title, kAskedQuestion});
    return answerOk;
  }
  int choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
             const std::string& none) override {
    choices.push_back({options, none});
    Show({text, title, kAskedChoice});
    return choiceAnswer;
  }
  std::string openFile(const FileRequest& request) override {
    openRequests.push_back(request);
    return openPath;
  }
  std::string saveFile(const FileRequest& request) override {
    saveRequests.push_back(request);
    return savePath;
  }

  NetworkPortsAnswer networkPorts(const std::vector<std::string>& urls) override {
    networkPortLists.push_back(urls);
    if (networkAnswers.empty()) return {};
    const NetworkPortsAnswer answer = networkAnswers.front();
    networkAnswers.erase(networkAnswers.begin());
    return answer;
  }

  std::vector<ShownBox> Titled(const std::string& title) const {
    std::vector<ShownBox> found;
    for (const ShownBox& shown : boxes) {
      if (shown.title == title) found.push_back(shown);
    }
    return found;
  }

  struct Choice {
    std::vector<std::string> options;
    std::string none;
  };

  std::vector<ShownBox> boxes;
  std::function<void(const ShownBox&)> onBox;  // runs while the "box" is open
  bool answerOk = true;
  std::vector<Choice> choices;
  int choiceAnswer = kChoseNone;
  std::string openPath;  // empty: the dialog is cancelled
  std::string savePath;
  std::vector<FileRequest> openRequests;
  std::vector<FileRequest> saveRequests;
  std::vector<NetworkPortsAnswer> networkAnswers;  // one per showing of "Network Ports...", then Cancel
  std::vector<std::vector<std::string>> networkPortLists;  // what each showing listed

 private:
  void Show(const ShownBox& shown) {
    boxes.push_back(shown);
    if (onBox) onBox(boxes.back());
  }
};
