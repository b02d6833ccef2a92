// The feedback window in Win32: created once with the main window, hidden, and shown
// again for every use. The form's logic (checks, remembered details, the post) is the
// web services' own; this draws it and hands the person's events to it.
#pragma once

#include <map>
#include <string>

#include "log/win32_text.h"
#include "web/feedback_post.h"
#include "win32/window_fonts.h"

struct MessageLog;
struct WebSettings;
class MessageLoop;

class Win32FeedbackWindow {
 public:
  Win32FeedbackWindow(HINSTANCE instance, HWND mainWindow, WebClient& client, WebUi& ui, WebSettings& settings);
  ~Win32FeedbackWindow();
  Win32FeedbackWindow(const Win32FeedbackWindow&) = delete;
  Win32FeedbackWindow& operator=(const Win32FeedbackWindow&) = delete;

  HWND Handle() const { return window_; }
  // Its keys and dialog navigation, before dispatch: true when taken.
  bool TakeMessage(MSG& message);

  // The feedback menu command after the facts are gathered: prepares the error file and
  // opens the form when the web host answers.
  void SendFeedback(const FeedbackInfo& info, const MessageLog* log);
  bool OpenFeedbackForm();

  // The controls by the form's names (the layout check reads them).
  HWND Control(const char* name) const;
  const std::map<std::string, HWND>& Controls() const { return controls_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void LayOut();
  void FormShow();
  void cbFeedbackTypeChange();
  void btnSendFileClick();
  void btnSendClick();
  int PostFeedback();
  void Close();
  FeedbackEntries Entries() const;
  std::string Text(const char* name) const;
  void SetText(const char* name, const std::string& text);
  int Selected(const char* name) const;
  HWND Add(const char* name, const wchar_t* kind, DWORD style, DWORD extended = 0);

  HINSTANCE instance_;
  HWND main_;
  HWND window_ = nullptr;
  WebClient& client_;
  WebUi& ui_;
  WebSettings& settings_;
  WindowFonts fonts_;
  FeedbackInfo info_;
  std::string kind_;
  std::string lastError_;
  std::string sendFilePath_;
  std::map<std::string, HWND> controls_;
  int nextId_ = 100;
};
