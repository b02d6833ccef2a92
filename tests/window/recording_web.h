// The web services' requests from the window, remembered.
#pragma once

#include <string>
#include <vector>

#include "window/window_web.h"

struct RecordingWeb : WindowWeb {
  struct Check {
    bool reported;
    uint32_t version;
    std::string path;
    std::string deviceName;
  };
  void checkVersion(bool reported, uint32_t version, const std::string& path, const std::string& name) override {
    checks.push_back({reported, version, path, name});
  }
  void sendFeedback(const FeedbackFacts& facts, const MessageLog* log) override {
    feedback.push_back(facts);
    feedbackLogs.push_back(log);
  }

  std::vector<Check> checks;
  std::vector<FeedbackFacts> feedback;
  std::vector<const MessageLog*> feedbackLogs;
};
