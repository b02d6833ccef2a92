#include "gui/main_window_web.h"

void QtWindowWeb::checkVersion(bool reported, uint32_t currentVersion, const std::string& path,
                               const std::string& deviceName) {
  if (web_ != nullptr) web_->StartVersionCheck(reported, currentVersion, path, deviceName);
}

void QtWindowWeb::sendFeedback(const FeedbackFacts& facts, const MessageLog* log) {
  if (web_ == nullptr) return;
  web_->SendFeedback(MakeFeedbackInfo(facts.caption, facts.imageLabel, facts.errorFile, &web_->Settings()), log);
}
