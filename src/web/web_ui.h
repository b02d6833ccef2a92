// What the web services may do to the person in front of them. The window answers
// with message boxes, the browser and a file dialog; the command line and the tests
// answer with their own implementations.
#pragma once

#include <string>

// Kinds of a message box, as the error box of the main window numbers them.
#include "app/box_kinds.h"

struct WebUi {
  virtual ~WebUi() = default;
  // A message box with the caption; Yes/No buttons (Yes the default) when yesNo, else OK.
  // True when the person pressed Yes.
  virtual bool AskUser(const std::string& text, const std::string& caption, bool yesNo, int kind) = 0;
  // Opens the URL in the web browser; false when the browser could not be started.
  virtual bool OpenUrl(const std::string& url) = 0;
  // An open-file dialog; the chosen file's full path, empty when cancelled.
  virtual std::string ChooseFile(const std::string& title, const std::string& folder, const std::string& filter) = 0;
};
