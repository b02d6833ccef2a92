// The web services as the window reaches them: the version check and the feedback
// form. They live in src/web in standard C++ over an HTTP transport: the Qt face hands
// them to its feedback window with Qt Network; a native Windows face calls the same
// functions (StartVersionCheck, OpenFeedbackForm, PostFeedback) with WinHttpTransport,
// pumping its messages while a request waits.
#pragma once

#include <cstdint>
#include <string>

struct MessageLog;

// The facts the feedback form is handed before it opens.
struct FeedbackFacts {
  std::string caption;     // the window's caption: the product
  std::string imageLabel;  // the held image's label
  std::string errorFile;   // attached to the post
};

struct WindowWeb {
  virtual ~WindowWeb() = default;
  // The quiet start-up check (reported false) and the menu's check (reported true) of the
  // version file at `path`, against the held image's version.
  virtual void checkVersion(bool reported, uint32_t currentVersion, const std::string& path,
                            const std::string& deviceName) = 0;
  // Prepares the error file and opens the feedback form.
  virtual void sendFeedback(const FeedbackFacts& facts, const MessageLog* log) = 0;
};
