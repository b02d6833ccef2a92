#include "win32/feedback_window.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "win32/centred_box.h"
#include "win32/main_window_layout.h"

namespace {

constexpr wchar_t kClassName[] = L"VornBSLFeedback";
constexpr char kTitle[] = "Send Feedback to VANTO";
constexpr char kOpenDialogTitle[] = "Send File with Feedback";
constexpr char kOpenDialogFilter[] = "Any File Type (*)";
constexpr int kMargin = 11;
constexpr int kSpacing = 6;
constexpr int kColumnChars = 32;      // each column of the contact fields
constexpr int kDescriptionLines = 8;
constexpr int kListItems = 6;

// The labels over the fields, by the form's layout: text, the field under it, column, row.
struct FieldLabel {
  const char* text;
  const char* field;
  int column;
  int row;
};
constexpr FieldLabel kFieldLabels[] = {
    {"Name (required)", "edName", 0, 0},
    {"Company Name", "edCompany", 1, 0},
    {"Email Address", "edEmail", 0, 1},
    {"Telephone (include area code)", "edTelephone", 1, 1},
    {"Type of feedback", "cbFeedbackType", 0, 2},
    {"Please respond via", "cbRespondVia", 1, 2},
};
constexpr char kSendFileLabel[] = "Send the following file (file size can be up to 6 MB):";
constexpr char kEmailToLabel[] = "Send the feedback to my VANTO Group Representative's email address:";

int BarValue(int64_t bytes) { return static_cast<int>(std::clamp<int64_t>(bytes, 0, INT_MAX)); }

std::string WindowTextOf(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return Utf8FromWide(text);
}

// The hourglass for as long as the object lives.
struct WaitCursor {
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  ~WaitCursor() { SetCursor(previous); }
};

// The multi-line edit keeps Return for new lines; in Windows' edit box it shows the
// text as the person typed it, with CR LF line ends: the post sends plain LF.
std::string WithoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

std::string WithCarriageReturns(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace

Win32FeedbackWindow::Win32FeedbackWindow(HINSTANCE instance, HWND mainWindow, WebClient& client, WebUi& ui,
                                         WebSettings& settings)
    : instance_(instance), main_(mainWindow), client_(client), ui_(ui), settings_(settings) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);
  window_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClassName, WideFromUtf8(kTitle).c_str(),
                            WS_POPUP | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, mainWindow,
                            nullptr, instance, this);
  fonts_ = MakeWindowFonts(GetDpiForWindow(window_));
  CreateControls();
  LayOut();
}

Win32FeedbackWindow::~Win32FeedbackWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

HWND Win32FeedbackWindow::Add(const char* name, const wchar_t* kind, DWORD style, DWORD extended) {
  const HWND control =
      CreateWindowExW(extended, kind, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, window_,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId_++)), instance_, nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.normal.get()), FALSE);
  controls_[name] = control;
  return control;
}

HWND Win32FeedbackWindow::Control(const char* name) const {
  const auto found = controls_.find(name);
  return found == controls_.end() ? nullptr : found->second;
}

void Win32FeedbackWindow::CreateControls() {
  constexpr DWORD kEdit = ES_AUTOHSCROLL | WS_TABSTOP;
  constexpr DWORD kList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
  for (const FieldLabel& label : kFieldLabels) {
    SetWindowTextW(Add((std::string("label ") + label.field).c_str(), WC_STATICW, SS_LEFTNOWORDWRAP | SS_NOPREFIX),
                   WideFromUtf8(label.text).c_str());
    if (std::string(label.field).rfind("cb", 0) == 0) {
      Add(label.field, WC_COMBOBOXW, kList);
    } else {
      Add(label.field, WC_EDITW, kEdit, WS_EX_CLIENTEDGE);
    }
  }
  for (const std::string& item : FeedbackTypeItems()) {
    SendMessageW(Control("cbFeedbackType"), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(item).c_str()));
  }
  for (const std::string& item : RespondViaItems()) {
    SendMessageW(Control("cbRespondVia"), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(item).c_str()));
  }
  Add("lblDescription", WC_STATICW, SS_LEFTNOWORDWRAP | SS_NOPREFIX);
  const HWND description =
      Add("reDescription", WC_EDITW, ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
          WS_EX_CLIENTEDGE);
  SendMessageW(description, EM_SETLIMITTEXT, kMaxDescriptionLength, 0);
  SetWindowTextW(Add("label edSendFile", WC_STATICW, SS_LEFTNOWORDWRAP | SS_NOPREFIX),
                 WideFromUtf8(kSendFileLabel).c_str());
  Add("edSendFile", WC_EDITW, ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE);
  SetWindowTextW(Add("btnSendFile", WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP), L"...");
  SetWindowTextW(Add("label edEmailTo", WC_STATICW, SS_LEFTNOWORDWRAP | SS_NOPREFIX),
                 WideFromUtf8(kEmailToLabel).c_str());
  Add("edEmailTo", WC_EDITW, kEdit, WS_EX_CLIENTEDGE);
  const HWND bar = Add("pbWeb", PROGRESS_CLASSW, PBS_SMOOTH);
  ShowWindow(bar, SW_HIDE);
  SetWindowTextW(Add("btnSend", WC_BUTTONW, BS_DEFPUSHBUTTON | WS_TABSTOP), L"Send");
}

void Win32FeedbackWindow::LayOut() {
  const HFONT font = fonts_.normal.get();
  const int margin = Scaled(fonts_, kMargin);
  const int spacing = Scaled(fonts_, kSpacing);
  const int line = LineHeight(font);
  const int field = line + Scaled(fonts_, 8);
  int column = AverageCharWidth(font) * kColumnChars;
  for (const FieldLabel& label : kFieldLabels) column = std::max(column, static_cast<int>(TextSize(font, label.text).cx));
  for (const auto& items : {FeedbackTypeItems(), RespondViaItems()}) {
    for (const std::string& item : items) {
      column = std::max(column, static_cast<int>(TextSize(font, item).cx) +
                                    GetSystemMetricsForDpi(SM_CXVSCROLL, fonts_.dpi) + Scaled(fonts_, 12));
    }
  }
  int width = 2 * column + spacing;
  width = std::max({width, static_cast<int>(TextSize(font, kSendFileLabel).cx),
                    static_cast<int>(TextSize(font, kEmailToLabel).cx)});
  for (int type = 0; type < static_cast<int>(FeedbackTypeItems().size()); ++type) {
    width = std::max(width, static_cast<int>(TextSize(font, FeedbackPrompt(type)).cx));
  }
  column = (width - spacing) / 2;
  const auto put = [](HWND control, int x, int y, int w, int h) { MoveWindow(control, x, y, w, h, FALSE); };
  int y = margin;
  for (int row = 0; row < 3; ++row) {
    for (const FieldLabel& label : kFieldLabels) {
      if (label.row != row) continue;
      const int x = margin + label.column * (column + spacing);
      put(Control((std::string("label ") + label.field).c_str()), x, y, column, line);
      const HWND control = Control(label.field);
      const bool list = std::string(label.field).rfind("cb", 0) == 0;
      put(control, x, y + line + Scaled(fonts_, 2), column, list ? field + kListItems * line : field);
    }
    y += line + Scaled(fonts_, 2) + field + spacing;
  }
  put(Control("lblDescription"), margin, y, width, line);
  y += line + Scaled(fonts_, 2);
  put(Control("reDescription"), margin, y, width, kDescriptionLines * line + Scaled(fonts_, 8));
  y += kDescriptionLines * line + Scaled(fonts_, 8) + spacing;
  put(Control("label edSendFile"), margin, y, width, line);
  y += line + Scaled(fonts_, 2);
  const SIZE browse = ButtonSize(Control("btnSendFile"), fonts_);
  const int browseWidth = std::max(static_cast<int>(TextSize(font, "...").cx) + Scaled(fonts_, 16), field);
  put(Control("edSendFile"), margin, y, width - browseWidth - spacing, field);
  put(Control("btnSendFile"), margin + width - browseWidth, y, browseWidth, std::max(field, static_cast<int>(browse.cy)));
  y += std::max(field, static_cast<int>(browse.cy)) + spacing;
  put(Control("label edEmailTo"), margin, y, width, line);
  y += line + Scaled(fonts_, 2);
  put(Control("edEmailTo"), margin, y, width, field);
  y += field + 2 * spacing;
  const SIZE send = ButtonSize(Control("btnSend"), fonts_);
  put(Control("pbWeb"), margin, y + (send.cy - field) / 2, width - send.cx - 2 * spacing, field);
  put(Control("btnSend"), margin + width - send.cx, y, send.cx, send.cy);
  y += send.cy + margin;
  RECT frame{0, 0, width + 2 * margin, y};
  AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)), fonts_.dpi);
  SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK Win32FeedbackWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32FeedbackWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->window_ == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT Win32FeedbackWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const HWND from = reinterpret_cast<HWND>(lParam);
      if (LOWORD(wParam) == IDCANCEL) {
        Close();
      } else if (LOWORD(wParam) == IDOK || from == Control("btnSend")) {
        if (IsWindowEnabled(Control("btnSend"))) btnSendClick();
      } else if (from == Control("btnSendFile")) {
        btnSendFileClick();
      } else if (from == Control("cbFeedbackType") && HIWORD(wParam) == CBN_SELCHANGE) {
        cbFeedbackTypeChange();
      }
      return 0;
    }
    case WM_CLOSE: Close(); return 0;
    case WM_DPICHANGED:
      fonts_ = MakeWindowFonts(HIWORD(wParam));
      for (const auto& [name, control] : controls_) {
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_.normal.get()), TRUE);
      }
      LayOut();
      return 0;
    default: return DefWindowProcW(window_, message, wParam, lParam);
  }
}

bool Win32FeedbackWindow::TakeMessage(MSG& message) {
  return IsWindowVisible(window_) && IsDialogMessageW(window_, &message) != FALSE;
}

void Win32FeedbackWindow::SendFeedback(const FeedbackInfo& info, const MessageLog* log) {
  info_ = info;
  PrepareErrorFile(log, info.productName);
  OpenFeedbackForm();
}

bool Win32FeedbackWindow::OpenFeedbackForm() {
  if (!::OpenFeedbackForm(client_, ui_)) return false;
  // A second call while the form is open keeps what has been entered.
  if (!IsWindowVisible(window_)) {
    FormShow();
    CentreWindowOn(window_, main_);
    ShowWindow(window_, SW_SHOW);
  }
  SetForegroundWindow(window_);
  SetFocus(Control("edName"));
  return true;
}

void Win32FeedbackWindow::FormShow() {
  const FeedbackEntries shown = ShownFeedbackEntries(settings_, info_);
  SetText("edName", shown.name);
  SetText("edCompany", shown.company);
  SetText("edTelephone", shown.telephone);
  SetText("edEmail", shown.email);
  SetText("edEmailTo", shown.emailTo);
  SetText("edSendFile", "");
  sendFilePath_.clear();
  SetText("reDescription", WithCarriageReturns(shown.description));
  SendMessageW(Control("cbRespondVia"), CB_SETCURSEL, static_cast<WPARAM>(shown.respondVia), 0);
  SendMessageW(Control("cbFeedbackType"), CB_SETCURSEL, static_cast<WPARAM>(shown.feedbackType), 0);
  cbFeedbackTypeChange();
  ShowWindow(Control("pbWeb"), SW_HIDE);
}

void Win32FeedbackWindow::cbFeedbackTypeChange() {
  kind_ = FeedbackKind(Selected("cbFeedbackType"));
  SetText("lblDescription", FeedbackPrompt(Selected("cbFeedbackType")));
}

void Win32FeedbackWindow::btnSendFileClick() {
  SetText("edSendFile", "");
  sendFilePath_.clear();
  const std::string path = ui_.ChooseFile(kOpenDialogTitle, info_.programFolder, kOpenDialogFilter);
  if (path.empty() || !AcceptSendFile(ui_, path)) return;
  const size_t slash = path.find_last_of("\\/");
  SetText("edSendFile", slash == std::string::npos ? path : path.substr(slash + 1));
  sendFilePath_ = path;
}

void Win32FeedbackWindow::btnSendClick() {
  const FeedbackEntries entries = Entries();
  const EntryProblem problem = CheckFeedbackEntries(entries);
  if (problem.field != FeedbackField::None) {
    ui_.AskUser(problem.text, problem.caption, false, kBoxWarning);
    const char* focus = problem.field == FeedbackField::Telephone ? "edTelephone"
                        : problem.field == FeedbackField::EmailTo ? "edEmailTo"
                        : problem.field == FeedbackField::Email   ? "edEmail"
                                                                  : "edName";
    SetFocus(Control(focus));
    return;
  }
  int result = kFeedbackFailed;
  EnableWindow(Control("btnSend"), FALSE);
  {
    const WaitCursor hourglass;
    SaveFeedbackSettings(settings_, entries);
    result = PostFeedback();
  }
  EnableWindow(Control("btnSend"), TRUE);
  if (result == kFeedbackSent) {
    ShowWindow(window_, SW_HIDE);
    UpdateWindow(main_);
    ui_.AskUser(FeedbackThanks(kind_), "Feedback Successfully Sent", false, kBoxInformation);
    Close();
  } else if (result == kFeedbackFailed && IsWindowVisible(window_)) {
    ui_.AskUser(FeedbackFailure(kind_, lastError_), "Error Sending Feedback", false, kBoxWarning);
  }
}

int Win32FeedbackWindow::PostFeedback() {
  const HWND bar = Control("pbWeb");
  UploadProgress progress;
  progress.begin = [bar](int64_t total) {
    SendMessageW(bar, PBM_SETRANGE32, 0, BarValue(total));
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    ShowWindow(bar, total > kShowProgressAbove ? SW_SHOWNA : SW_HIDE);
  };
  progress.work = [bar](int64_t sent) { SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(BarValue(sent)), 0); };
  progress.end = [bar] { ShowWindow(bar, SW_HIDE); };
  return ::PostFeedback(client_, ui_, info_, Entries(), lastError_, progress);
}

// Every way the window closes passes here: a transfer still going is cut off, whatever
// that reports is of no interest.
void Win32FeedbackWindow::Close() {
  WebAbort(client_);
  ShowWindow(window_, SW_HIDE);
  if (IsWindowVisible(main_)) SetForegroundWindow(main_);
}

FeedbackEntries Win32FeedbackWindow::Entries() const {
  FeedbackEntries entries;
  entries.name = Text("edName");
  entries.company = Text("edCompany");
  entries.email = Text("edEmail");
  entries.telephone = Text("edTelephone");
  entries.respondVia = Selected("cbRespondVia");
  entries.feedbackType = Selected("cbFeedbackType");
  entries.description = WithoutCarriageReturns(Text("reDescription"));
  entries.emailTo = Text("edEmailTo");
  entries.sendFile = Text("edSendFile").empty() ? std::string() : sendFilePath_;
  return entries;
}

std::string Win32FeedbackWindow::Text(const char* name) const { return WindowTextOf(Control(name)); }

void Win32FeedbackWindow::SetText(const char* name, const std::string& text) {
  SetWindowTextW(Control(name), WideFromUtf8(text).c_str());
}

int Win32FeedbackWindow::Selected(const char* name) const {
  return static_cast<int>(SendMessageW(Control(name), CB_GETCURSEL, 0, 0));
}
