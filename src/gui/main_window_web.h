// The window core's web services: the feedback window's version check and form.
#pragma once

#include <QPointer>

#include "gui/feedback_window.h"
#include "window/window_web.h"

class QtWindowWeb : public WindowWeb {
 public:
  // The feedback window whose HTTP client serves both; none: the commands do nothing.
  void SetWindow(TfrmWeb* web) { web_ = web; }

  void checkVersion(bool reported, uint32_t currentVersion, const std::string& path,
                    const std::string& deviceName) override;
  void sendFeedback(const FeedbackFacts& facts, const MessageLog* log) override;

 private:
  QPointer<TfrmWeb> web_;
};
