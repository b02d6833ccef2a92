#include "gui/main_window_web.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

void QtWindowWeb::checkVersion(bool reported, uint32_t currentVersion, const std::string& path,
                               const std::string& deviceName) {
  if (web_ != nullptr) web_->StartVersionCheck(reported, currentVersion, Q(path), Q(deviceName));
}

void QtWindowWeb::sendFeedback(const FeedbackFacts& facts, const MessageLog* log) {
  if (web_ == nullptr) return;
  web_->SendFeedback(MakeFeedbackInfo(Q(facts.caption), Q(facts.imageLabel), Q(facts.errorFile)), log);
}
