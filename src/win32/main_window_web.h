// The window core's web services on Windows: the version check and the feedback form
// over WinHTTP, the window's messages handled while a request waits.
#pragma once

#include <memory>

#include "web/web_client.h"
#include "web/web_settings_win32.h"
#include "web/web_transport_winhttp.h"
#include "win32/feedback_window.h"
#include "win32/web_boxes.h"
#include "window/window_web.h"

class MessageLoop;

class Win32WindowWeb : public WindowWeb {
 public:
  Win32WindowWeb(HINSTANCE instance, HWND mainWindow, MessageLoop& loop);

  void checkVersion(bool reported, uint32_t currentVersion, const std::string& path,
                    const std::string& deviceName) override;
  void sendFeedback(const FeedbackFacts& facts, const MessageLog* log) override;

  Win32FeedbackWindow& Feedback() { return *feedback_; }

 private:
  WinHttpTransport transport_;
  RegistryWebSettings settings_;
  WebClient client_;
  Win32WebBoxes boxes_;
  std::unique_ptr<Win32FeedbackWindow> feedback_;
};
