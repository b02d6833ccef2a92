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
};
