// Drives the native window the way a person does, from inside the same wine desktop:
//   window_driver.exe REPORT PROGRAM PORT STEP... [-- PROGRAM ARGUMENTS]
// It starts PROGRAM, finds its window and runs each STEP, answering the boxes that come
// up; every step, box and text it sees goes into REPORT as a line ("ok STEP ...",
// "fail STEP ...", "box TITLE: TEXT", ...). The test reads the report.
#include "log/win32_text.h"

#include <commctrl.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "win32/window_ids.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPoll = std::chrono::milliseconds(50);
constexpr auto kStepLimit = std::chrono::seconds(180);
constexpr auto kQuiet = std::chrono::milliseconds(1500);  // a key that should do nothing, watched this long
constexpr wchar_t kMainClass[] = L"VornBSLMainWindow";
constexpr wchar_t kFeedbackClass[] = L"VornBSLFeedback";
constexpr int kBoxTextId = 0xFFFF;  // the message box's text
constexpr char kSuccess[] = "Successfully updated firmware";

std::ofstream report;
PROCESS_INFORMATION program{};
HWND main = nullptr;
std::string port;

// One line per thing seen: a text's own line ends are written as "\n".
void Line(const std::string& text) {
  std::string line;
  for (const char c : text) {
    if (c == '\n') line += "\\n";
    else if (c != '\r') line += c;
  }
  report << line << "\n" << std::flush;
}

std::string TextOf(HWND window) {
  wchar_t text[4096] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
  return Utf8FromWide(text);
}

HWND Item(Control control) { return GetDlgItem(main, ControlId(control)); }

bool Visible(Control control) { return IsWindowVisible(Item(control)) != FALSE; }

bool Alive() { return WaitForSingleObject(program.hProcess, 0) == WAIT_TIMEOUT; }

// Polls until `done` says so, the program ends or the step's time is up.
bool WaitFor(const std::function<bool()>& done, Clock::duration limit = kStepLimit) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(kPoll);
  }
  return done();
}

struct Found {
  DWORD process;
  const wchar_t* className;
  HWND owner;
  HWND window = nullptr;
};

BOOL CALLBACK Match(HWND window, LPARAM data) {
  auto* found = reinterpret_cast<Found*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  const bool owned = found->owner == nullptr || GetWindow(window, GW_OWNER) == found->owner;
  if (process == found->process && wcscmp(name, found->className) == 0 && owned && IsWindowVisible(window)) {
    found->window = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindTop(const wchar_t* className, HWND owner) {
  Found found{program.dwProcessId, className, owner};
  EnumWindows(Match, reinterpret_cast<LPARAM>(&found));
  return found.window;
}

HWND Box() { return FindTop(L"#32770", main); }

// Answers the box that is up with its first button (OK, or Yes), or with No, and notes it.
void Answer(HWND box, bool no = false) {
  const std::string title = TextOf(box);
  Line("box " + title + ": " + TextOf(GetDlgItem(box, kBoxTextId)));
  const WPARAM button = no ? IDNO : GetDlgItem(box, IDOK) != nullptr ? IDOK : IDYES;
  PostMessageW(box, WM_COMMAND, button, 0);
  WaitFor([box] { return !IsWindow(box) || !IsWindowVisible(box); }, std::chrono::seconds(10));
}

// Waits for the box of that title and answers it.
bool AnswerBox(const std::string& title, bool no) {
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = Box()) != nullptr && TextOf(box) == title; })) return false;
  const bool hasNo = GetDlgItem(box, IDNO) != nullptr;
  Answer(box, no);
  return !no || hasNo;
}

// The menu commands the steps can give, by the menu's names.
constexpr struct {
  const char* name;
  MenuId id;
} kMenuCommands[] = {
    {"CheckforUpdates1", MenuId::CheckforUpdates1},
    {"SendFeedbacktoTessaly1", MenuId::SendFeedbacktoTessaly1},
};

// A menu command as a click on its item sends it; posted, since it may wait on the web host.
bool Command(const std::string& name) {
  for (const auto& command : kMenuCommands) {
    if (name == command.name) return PostMessageW(main, WM_COMMAND, MenuCommandId(command.id), 0) != FALSE;
  }
  Line("unknown menu command " + name);
  return false;
}

// A field of the feedback form: the control made right after its label.
HWND FieldAfter(HWND form, const wchar_t* label) {
  const HWND shown = FindWindowExW(form, nullptr, WC_STATICW, label);
  return shown == nullptr ? nullptr : GetWindow(shown, GW_HWNDNEXT);
}

HWND MultiLineEdit(HWND form) {
  for (HWND each = GetWindow(form, GW_CHILD); each != nullptr; each = GetWindow(each, GW_HWNDNEXT)) {
    wchar_t name[64] = {};
    GetClassNameW(each, name, 64);
    if (_wcsicmp(name, WC_EDITW) == 0 && (GetWindowLongPtrW(each, GWL_STYLE) & ES_MULTILINE) != 0) return each;
  }
  return nullptr;
}

// Fills in the open feedback form (name, email and text) and presses Send.
bool SendFeedbackForm() {
  HWND form = nullptr;
  if (!WaitFor([&] { return (form = FindTop(kFeedbackClass, main)) != nullptr; })) return false;
  const HWND name = FieldAfter(form, L"Name (required)");
  const HWND email = FieldAfter(form, L"Email Address");
  const HWND description = MultiLineEdit(form);
  const HWND send = FindWindowExW(form, nullptr, WC_BUTTONW, L"Send");
  if (name == nullptr || email == nullptr || description == nullptr || send == nullptr) return false;
  SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Ada Tester"));
  SendMessageW(email, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"ada@example.com"));
  SendMessageW(description, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"The window\r\nworks."));
  return PostMessageW(send, BM_CLICK, 0, 0) != FALSE;
}

bool ListOpen() { return SendMessageW(Item(Control::cbCommPort), CB_GETDROPPEDSTATE, 0, 0) != FALSE; }

bool OpenList() {
  PostMessageW(Item(Control::cbCommPort), CB_SHOWDROPDOWN, TRUE, 0);
  return WaitFor(ListOpen, std::chrono::seconds(10));
}

// A key as the window's thread gets it from the keyboard: posted to the control with the focus.
void Key(HWND to, WPARAM key) {
  PostMessageW(to, WM_KEYDOWN, key, 1);
  PostMessageW(to, WM_KEYUP, key, 0xC0000001);
}

int PortIndex() {
  const HWND combo = Item(Control::cbCommPort);
  const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) >= 256) continue;
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    if (Utf8FromWide(text).rfind(port + " ", 0) == 0) return i;
  }
  return -1;
}

bool Idle() { return IsWindowEnabled(Item(Control::btnStart)) && IsWindowEnabled(Item(Control::cbCommPort)); }

std::string Status() { return Visible(Control::statusText) ? TextOf(Item(Control::statusText)) : std::string(); }

// Waits for the run to end (Start is given back), answering every box on the way.
bool RunToIdle() {
  return WaitFor([] {
    if (const HWND box = Box()) Answer(box);
    return !Alive() || (Idle() && Box() == nullptr);
  });
}

bool Step(const std::string& step) {
  if (step.rfind("dismiss:", 0) == 0) return AnswerBox(step.substr(8), false);
  if (step.rfind("no:", 0) == 0) return AnswerBox(step.substr(3), true);
  if (step.rfind("menu:", 0) == 0) return Command(step.substr(5));
  if (step == "feedback") return SendFeedbackForm();
  if (step == "pick") {
    // The list is listed afresh as it opens; Return on the open list picks the entry and closes it.
    if (!OpenList()) return false;
    int index = -1;
    if (!WaitFor([&] { return (index = PortIndex()) >= 0; }, std::chrono::seconds(10))) return false;
    SendMessageW(Item(Control::cbCommPort), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Key(Item(Control::cbCommPort), VK_RETURN);
    return WaitFor([] { return !ListOpen(); }, std::chrono::seconds(10)) && Box() == nullptr &&
           TextOf(Item(Control::cbCommPort)).rfind(port + " ", 0) == 0 && Status().empty();
  }
  if (step == "list-escape" || step == "list-enter") {
    // A key the open list takes closes it and does nothing more: no run, no close.
    if (!OpenList()) return false;
    Key(Item(Control::cbCommPort), step == "list-escape" ? VK_ESCAPE : VK_RETURN);
    if (!WaitFor([] { return !ListOpen(); }, std::chrono::seconds(10))) return false;
    std::this_thread::sleep_for(kQuiet);
    return Alive() && Box() == nullptr && Status().empty() && Idle();
  }
  if (step == "escape") {
    // The list closed: Escape is the Close button.
    Key(Item(Control::cbCommPort), VK_ESCAPE);
    return WaitFor([] { return !Alive(); }, std::chrono::seconds(20));
  }
  if (step == "start") {
    // The click takes the Start button away until the run is over.
    PostMessageW(Item(Control::btnStart), BM_CLICK, 0, 0);
    return WaitFor([] { return !IsWindowEnabled(Item(Control::btnStart)) || Box() != nullptr; });
  }
  if (step == "close-during-run") {
    // The close box during a run: the guard says so, and the run goes on.
    if (!WaitFor([] { return !Status().empty() && !Idle(); })) return false;
    PostMessageW(main, WM_CLOSE, 0, 0);
    HWND box = nullptr;
    if (!WaitFor([&] { return (box = Box()) != nullptr; })) return false;
    const bool guarded = TextOf(box) == "Don't Quit Now!";
    Answer(box);
    return guarded && Alive();
  }
  if (step == "finish") {
    if (!RunToIdle()) return false;
    Line("status " + Status());
    return Status().rfind(kSuccess, 0) == 0;
  }
  if (step == "fail") {
    if (!RunToIdle()) return false;
    Line("status " + Status());
    return Status().rfind(kSuccess, 0) != 0;
  }
  if (step == "unfinished-shown" || step == "unfinished-hidden") {
    Line("unfinished " + TextOf(Item(Control::unfinishedLine)));
    return Visible(Control::unfinishedLine) == (step == "unfinished-shown");
  }
  if (step == "close") {
    PostMessageW(main, WM_CLOSE, 0, 0);
    return WaitFor([] { return !Alive(); }, std::chrono::seconds(30));
  }
  Line("unknown step " + step);
  return false;
}

bool Launch(const std::string& path, const std::vector<std::string>& arguments) {
  std::wstring command = L"\"" + WideFromUtf8(path) + L"\"";
  for (const std::string& argument : arguments) command += L" " + WideFromUtf8(argument);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &program)) {
    return false;
  }
  return WaitFor([] { return (main = FindTop(kMainClass, nullptr)) != nullptr || !Alive(); },
                 std::chrono::seconds(60)) &&
         main != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  report.open(argv[1], std::ios::binary);
  const std::string path = argv[2];
  port = argv[3];
  std::vector<std::string> steps;
  std::vector<std::string> arguments;
  bool programArguments = false;
  for (int i = 4; i < argc; ++i) {
    if (std::string(argv[i]) == "--") {
      programArguments = true;
    } else {
      (programArguments ? arguments : steps).push_back(argv[i]);
    }
  }
  const auto started = Clock::now();
  if (!Launch(path, arguments)) {
    DWORD code = 0;
    GetExitCodeProcess(program.hProcess, &code);
    Line(std::string("fail launch: the program ") +
         (Alive() ? "runs without a window" : "ended with status " + std::to_string(code)));
    if (const HWND box = FindTop(L"#32770", nullptr)) Line("box " + TextOf(box) + ": " + TextOf(GetDlgItem(box, kBoxTextId)));
    return 1;
  }
  Line("ok launch " + std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count()) + " ms");
  int failed = 0;
  for (const std::string& step : steps) {
    const auto begun = Clock::now();
    const bool ok = Step(step);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun).count();
    Line(std::string(ok ? "ok " : "fail ") + step + " " + std::to_string(ms) + " ms");
    if (!ok) {
      ++failed;
      break;
    }
  }
  if (Alive()) {
    TerminateProcess(program.hProcess, 1);
    Line("killed");
  }
  Line("end");
  return failed == 0 ? 0 : 1;
}
