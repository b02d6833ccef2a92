#include "win32/main_window_web.h"

#include "web/version_finder.h"
#include "web/web_host.h"
#include "win32/message_loop.h"

Win32WindowWeb::Win32WindowWeb(HINSTANCE instance, HWND mainWindow, MessageLoop& loop)
    : transport_([&loop](int maxWaitMs) { loop.Pump(maxWaitMs); }), boxes_(mainWindow) {
  client_.transport = &transport_;
  client_.host = WebHostUrl(ConfiguredWebHost({}, &settings_));
  client_.transferTimeoutMs = ConfiguredWebTimeoutMs(kTransferTimeoutMs);
  client_.getDeadlineMs = ConfiguredWebTimeoutMs(kGetDeadlineMs);
  feedback_ = std::make_unique<Win32FeedbackWindow>(instance, mainWindow, client_, boxes_, settings_);
  loop.AddFilter([this](MSG& message) { return feedback_->TakeMessage(message); });
}

void Win32WindowWeb::checkVersion(bool reported, uint32_t currentVersion, const std::string& path,
                                  const std::string& deviceName) {
  StartVersionCheck(client_, boxes_, reported, currentVersion, path, deviceName);
}

void Win32WindowWeb::sendFeedback(const FeedbackFacts& facts, const MessageLog* log) {
  feedback_->SendFeedback(MakeFeedbackInfo(facts.caption, facts.imageLabel, facts.errorFile, &settings_), log);
}
