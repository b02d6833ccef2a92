// Everything the window shows modally: message boxes, questions, the choice among
// settings files and the file dialogs. Each returns the person's answer.
#pragma once

#include <string>
#include <vector>

struct FileFilter {
  std::string name;     // "Firmware File"
  std::string pattern;  // "*.txt"; "*" for any file
};

struct FileRequest {
  std::string title;
  std::string folder;               // where the dialog opens; empty: the dialog's own choice
  std::vector<FileFilter> filters;  // empty: none
  std::string defaultSuffix;        // added to a name typed without one ("txt")
};

// What the person did in the "Network Ports..." dialog.
struct NetworkPortsAnswer {
  enum class Action { kCancel, kAdd, kRemove };
  Action action = Action::kCancel;
  std::string host;  // kAdd: as typed
  std::string port;  // kAdd: the TCP port as typed
  int index = -1;    // kRemove: which of the listed ports
};

struct WindowDialogs {
  virtual ~WindowDialogs() = default;
  // A modal box with the single button OK and the kind's icon (app/box_kinds.h), centred on
  // the window and on top.
  virtual void box(const std::string& text, const std::string& title, int kind) = 0;
  // An OK/Cancel question with the exclamation icon: true for OK.
  virtual bool ask(const std::string& text, const std::string& title) = 0;
  // One of several options, or `none` (listed first, the default): the option's index, or
  // kChoseNone for none and for a dialog closed without an answer.
  virtual int choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
                     const std::string& none) = 0;
  // The chosen file's full path (UTF-8); empty when cancelled. Open needs an existing file.
  virtual std::string openFile(const FileRequest& request) = 0;
  virtual std::string saveFile(const FileRequest& request) = 0;
  // The network ports added so far (their URLs), a host and a port to add, and a way to remove
  // one. A face without this dialog has nothing to add.
  virtual NetworkPortsAnswer networkPorts(const std::vector<std::string>& urls) {
    (void)urls;
    return {};
  }
};
