#include "win32/layout_check.h"

#include "log/win32_text.h"

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <span>
#include <vector>

#include "app/build_target.h"
#include "bsl/builtin_image.h"
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "sdi12/sdi_sensor.h"
#include "web/feedback_post.h"
#include "web/version_finder.h"
#include "win32/centred_box.h"
#include "win32/main_window.h"
#include "win32/main_window_web.h"
#include "win32/window_ids.h"
#include "window/window_dialogs.h"
#include "window/window_texts.h"

namespace {

constexpr wchar_t kReportVariable[] = L"VORNBSL_LAYOUT_CHECK";
constexpr wchar_t kPictureVariable[] = L"VORNBSL_PICTURE_DIR";
// The check begins once the start-up boxes (the erase warning) have come and been closed.
constexpr UINT kStartDelayMs = 1500;
constexpr int kPictureBar = 56;
constexpr int kChoiceOptions = 12;

// The sequences' stage texts and instructions; "%M" is the model name.
constexpr const char* kSharedStages[] = {
    "Connecting to %M...",           "Starting the firmware loader...",
    "Erasing firmware memory...",    "Uploading new firmware code...",
    "Restarting the %M, please wait...", "Checking new firmware...",
    "Restoring settings...",         "Successfully updated firmware in 12 seconds.",
    "Successfully updated firmware in 1234 seconds.",
    "The settings of the %M with serial number ABCDEFGHIJKLMNO, saved on 2026-12-10 14:03:11, will be restored.",
};
constexpr const char* kInstrumentStages[] = {"Checking battery power...", "Saving settings for this %M...",
                                             "Erasing old data..."};
constexpr const char* kSensorStages[] = {"Checking Fieldrex battery power...",
                                         "Saving settings for this digital sensor..."};
constexpr const char* kInstructions[] = {"Do NOT disconnect %M until finished.", "You may disconnect your %M now.",
                                         "Connect %M to computer comm port."};

struct Check {
  Win32MainWindow* window = nullptr;
  std::string report;
  std::string pictures;
  std::vector<std::string> lines;  // what was measured, and what does not fit
};

Check& TheCheck() {
  static Check check;
  return check;
}

std::string Variable(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return Utf8FromWide(value);
}

std::string WithModel(const char* pattern, const std::string& model) {
  std::string text = pattern;
  const size_t at = text.find("%M");
  if (at != std::string::npos) text.replace(at, 2, model);
  return text;
}

std::string TextOf(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return Utf8FromWide(text);
}

std::string ClassOf(HWND control) {
  wchar_t name[64] = {};
  GetClassNameW(control, name, 64);
  return Utf8FromWide(name);
}

HFONT FontOf(HWND control) { return reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)); }

// The room a text needs in a control's font, as the control draws it: DrawText with DT_CALCRECT.
SIZE Needed(HWND control, const std::string& text, int wrapWidth) {
  HDC dc = GetDC(control);
  HGDIOBJ previous = SelectObject(dc, FontOf(control));
  const std::wstring wide = WideFromUtf8(text);
  RECT rect{0, 0, wrapWidth, 0};
  const UINT flags = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE);
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &rect, flags);
  SelectObject(dc, previous);
  ReleaseDC(control, dc);
  return SIZE{rect.right, rect.bottom};
}

// One line's width as GetTextExtentPoint32 measures it.
int Extent(HWND control, const std::string& text) {
  HDC dc = GetDC(control);
  HGDIOBJ previous = SelectObject(dc, FontOf(control));
  const std::wstring wide = WideFromUtf8(text);
  SIZE size{0, 0};
  GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  SelectObject(dc, previous);
  ReleaseDC(control, dc);
  return size.cx;
}

RECT RectIn(HWND control, HWND parent) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string Describe(HWND control) { return ClassOf(control) + " \"" + TextOf(control) + "\""; }

// Why a shown control does not show its text whole; empty when it does.
std::string Problem(HWND control, HWND parent) {
  RECT client;
  GetClientRect(control, &client);
  RECT room;
  GetClientRect(parent, &room);
  const RECT at = RectIn(control, parent);
  if (at.left < 0 || at.top < 0 || at.right > room.right || at.bottom > room.bottom) return "outside its window";
  const std::string kind = ClassOf(control);
  const std::string text = TextOf(control);
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  if (kind == "Static" && !text.empty() && (style & SS_TYPEMASK) <= SS_LEFTNOWORDWRAP) {
    const bool wraps = (style & SS_TYPEMASK) != SS_LEFTNOWORDWRAP;
    const SIZE needed = Needed(control, text, wraps ? client.right : 0);
    if (needed.cx > client.right || needed.cy > client.bottom) {
      return "needs " + std::to_string(needed.cx) + "x" + std::to_string(needed.cy) + ", has " +
             std::to_string(client.right) + "x" + std::to_string(client.bottom);
    }
  } else if (kind == "Button") {
    SIZE ideal{0, 0};
    SendMessageW(control, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal));
    if (ideal.cx > client.right || ideal.cy > client.bottom) return "ideal width " + std::to_string(ideal.cx);
  } else if (kind == "ComboBox") {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(control, &info);
    const int width = Extent(control, text);
    if (width > info.rcItem.right - info.rcItem.left) return "item needs " + std::to_string(width);
  } else if (kind == PROGRESS_CLASSA) {
    if (Extent(control, text) > client.right) return "bar text needs " + std::to_string(Extent(control, text));
  }
  return {};
}

bool Overlap(const RECT& a, const RECT& b) {
  RECT both;
  return IntersectRect(&both, &a, &b) != FALSE;
}

// Every shown control of a window against its text and against its neighbours.
void Measure(HWND parent, const std::string& what) {
  Check& check = TheCheck();
  std::vector<HWND> shown;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    const std::string problem = Problem(child, parent);
    if (!problem.empty()) check.lines.push_back("cut: " + what + ": " + Describe(child) + " " + problem);
    const LONG type = GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
    const bool frame = ClassOf(child) == "Static" && (type == SS_ETCHEDFRAME || type == SS_ICON);
    if (!frame) shown.push_back(child);
  }
  for (size_t i = 0; i < shown.size(); ++i) {
    for (size_t j = i + 1; j < shown.size(); ++j) {
      if (Overlap(RectIn(shown[i], parent), RectIn(shown[j], parent))) {
        check.lines.push_back("cut: " + what + ": " + Describe(shown[i]) + " overlaps " + Describe(shown[j]));
      }
    }
  }
  check.lines.push_back("measured: " + what);
}

// A box as it comes up: within the work area, its texts whole; then closed as Cancel (No) would.
void MeasureBox(HWND box) {
  Check& check = TheCheck();
  const std::string title = TextOf(box);
  RECT frame;
  GetWindowRect(box, &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &monitor);
  RECT inside;
  if (!IntersectRect(&inside, &frame, &monitor.rcWork) || !EqualRect(&inside, &frame)) {
    check.lines.push_back("cut: box " + title + ": " + std::to_string(frame.right - frame.left) + "x" +
                          std::to_string(frame.bottom - frame.top) + " leaves the screen");
  }
  Measure(box, "box " + title);
  const int answer = GetDlgItem(box, IDNO) != nullptr ? IDNO : IDCANCEL;
  PostMessageW(box, WM_COMMAND, answer, 0);
}

// The window as BMP: what the screen shows of it, its frame included.
void SavePicture(HWND window, const std::string& state) {
  Check& check = TheCheck();
  if (check.pictures.empty()) return;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_ERASE);
  RECT frame;
  GetWindowRect(window, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;  // bottom-up, as BMP files keep rows
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const int stride = (width * 3 + 3) & ~3;
  header.biSizeImage = static_cast<DWORD>(stride * height);
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP picture = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, picture);
  BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  GdiFlush();
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + header.biSizeImage;
  const UINT dpi = GetDpiForWindow(window);
  const std::string name = std::string(DigitalSensorBuild(BuiltInFirmware()) ? "sensor" : "instrument") + "-window-" +
                           state + (dpi == USER_DEFAULT_SCREEN_DPI ? "" : "-" + std::to_string(dpi) + "dpi") + ".bmp";
  std::ofstream out(std::filesystem::path(WideFromUtf8(check.pictures + "\\" + name)), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(static_cast<const char*>(bits), header.biSizeImage);
  SelectObject(memory, previous);
  DeleteObject(picture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  check.lines.push_back(out ? "picture: " + name : "cut: picture " + name + " not written");
}

void Pictures(Win32MainWindow& window) {
  WindowView& view = window.View();
  const std::string model = window.Core().State().modelName;
  SavePicture(window.Handle(), "idle");
  view.setText(Control::lblConnect, WithModel(kInstructions[0], model));
  view.setText(Control::statusText, "Uploading new firmware code...");
  view.setVisible(Control::statusText, true);
  view.setProgress(kPictureBar, std::to_string(kPictureBar) + "%");
  // As a run leaves them: Start, Close and the port list taken away.
  for (const Control control : {Control::btnStart, Control::btnClose, Control::cbCommPort}) view.setEnabled(control, false);
  Measure(window.Handle(), "mid-update");
  SavePicture(window.Handle(), "update");
  for (const Control control : {Control::btnStart, Control::btnClose, Control::cbCommPort}) view.setEnabled(control, true);
  view.setProgress(0, "0%");
  view.setVisible(Control::statusText, false);
  view.setText(Control::lblConnect, ConnectTextFor(window.Core().State().digitalSensorBuild ? kSensorConnectTarget : model));
}

std::vector<std::string> ModelNames(WindowCore& core) {
  std::vector<std::string> names;
  if (core.State().digitalSensorBuild) {
    for (const SensorMenuItem& item : SensorMenuItems()) names.push_back(SensorTypeName(item.type));
    return names;
  }
  for (int kind = kDeviceTypeFirst; kind <= kDeviceTypeLast; ++kind) names.emplace_back(ProfileName(kind));
  return names;
}

// Every model name the window can hold, with every stage text and instruction of a run.
void RunTexts(Win32MainWindow& window) {
  WindowCore& core = window.Core();
  WindowView& view = window.View();
  const bool sensor = core.State().digitalSensorBuild;
  const auto own = sensor ? std::span<const char* const>(kSensorStages) : std::span<const char* const>(kInstrumentStages);
  for (const std::string& model : ModelNames(core)) {
    view.setText(Control::userText1, UserText1For(model));
    if (!sensor) view.setText(Control::commLabel, CommLabelFor(model));
    view.setVisible(Control::statusText, true);
    for (const char* instruction : kInstructions) {
      view.setText(Control::lblConnect, WithModel(instruction, model));
      Measure(window.Handle(), model + " / " + WithModel(instruction, model));
    }
    for (const auto& stages : {std::span<const char* const>(kSharedStages), own}) {
      for (const char* stage : stages) {
        view.setText(Control::statusText, WithModel(stage, model));
        Measure(window.Handle(), model + " / " + WithModel(stage, model));
      }
    }
    view.setVisible(Control::statusText, false);
  }
}

void ExtraRows(Win32MainWindow& window) {
  WindowView& view = window.View();
  for (const Control control : {Control::newSN, Control::newSNstr}) view.setVisible(control, true);
  Measure(window.Handle(), "with the serial number row");
  view.setText(Control::unfinishedLine, kUnfinishedText);
  view.setVisible(Control::unfinishedLine, true);
  Measure(window.Handle(), "with the unfinished-update line");
  for (const Control control : {Control::newSN, Control::newSNstr, Control::unfinishedLine}) {
    view.setVisible(control, false);
  }
}

// The window's boxes, and the longest of the sequences' own, as they read for the longest names.
void Boxes(Win32MainWindow& window) {
  WindowCore& core = window.Core();
  WindowDialogs& dialogs = window.Dialogs();
  const std::string model = "NIVARA 3x Family Sensor Suite";
  const std::string caption = CaptionFor(model);
  const std::string folder = core.State().dataFolder;
  core.Help2Click();
  core.About1Click();
  dialogs.box(EraseWarningText(caption, model), kEraseWarningTitle, kBoxWarning);
  dialogs.box(DontQuitText(caption, model), "Don't Quit Now!", kBoxWarning);
  dialogs.box(ConstructorErrorText(caption, -7), "Application Launch Error", kBoxError);
  dialogs.box(OpenFileErrorText(caption, "a firmware file with a rather long name of its own.txt", -2), "File Error",
              kBoxError);
  dialogs.box(UpdatesNotBuiltText(caption), "Update Firmware", kBoxInformation);
  dialogs.box("The " + caption + " did not put settings back into your " + model + ": no saved settings were " +
                  "chosen as its own. Its settings memory was not erased, so it keeps the settings it held.\n\n" +
                  "The settings of updates that did not finish are kept in the settings archive:\n\"" + folder +
                  "\\Settings Archive\"",
              "Settings Not Restored", kBoxWarning);
  dialogs.ask("The " + caption + " doesn't support this " + model + "\nrunning version 1.02.\n\n" +
                  "This updater only works with firmware version 1.20 (or newer).\n\nClick OK to force the update "
                  "anyway.\nClick CANCEL to quit the updater.",
              "Wrong Firmware Version");
  std::vector<std::string> options;
  for (int i = 0; i < kChoiceOptions; ++i) {
    options.push_back(model + ", serial number ABCDEFGHIJKLM" + std::to_string(i) + ", saved 2026-12-10 14:03:1" +
                      std::to_string(i % 10) + ": its update stopped after the device's settings memory was " +
                      "erased; not put back yet");
  }
  dialogs.choose("Your " + model + " is in its firmware loader, where it cannot tell which " + model + " it is.\n\n" +
                     "The settings archive holds the settings of updates that did not finish. If one of them is this " +
                     model + "'s own, choose it: it is put back after the update. Otherwise the " + model +
                     " keeps the settings it holds: its settings memory is not erased.",
                 "Whose Settings", options, "None of these: keep the settings this " + model + " holds");
}

void WebBoxes(Win32MainWindow& window) {
  Win32WindowWeb& web = window.Web();
  WebClient nowhere;
  Win32WebBoxes boxes(window.Handle());
  OpenFeedbackForm(nowhere, boxes);
  boxes.AskUser(FeedbackFailure(FeedbackKind(0), "Host requires authentication: the proxy at "
                                "proxy.example.internal:3128 refused the request (407)"),
                "Error Sending Feedback", false, kBoxWarning);
  const std::string caption = CaptionFor("NIVARA 3x Family Sensor Suite");
  boxes.AskUser("There is information about a newer version of " + caption + "\navailable at " +
                    "https://www.example.com/support/downloads/firmware/updaters/" + caption +
                    "/release-notes-and-downloads.html\n\nWould you like to visit this page with your web browser now?",
                "New Version Available", true, kBoxInformation);
  const HWND form = web.Feedback().Handle();
  ShowWindow(form, SW_SHOWNA);
  Measure(form, "the feedback window");
  ShowWindow(form, SW_HIDE);
}

// Which items the menus show, in menu order, and where: hidden ones are absent.
void Menus(Win32MainWindow& window) {
  Check& check = TheCheck();
  const HMENU bar = GetMenu(window.Handle());
  for (int top = 0; top < GetMenuItemCount(bar); ++top) {
    const HMENU menu = GetSubMenu(bar, top);
    for (int at = 0; at < GetMenuItemCount(menu); ++at) {
      const UINT id = GetMenuItemID(menu, at);
      const MenuEntry* row = FindMenuEntry(MenuOfCommand(static_cast<int>(id)));
      const UINT state = GetMenuState(menu, at, MF_BYPOSITION);
      check.lines.push_back("menu: " + std::to_string(top) + " " + (row == nullptr ? "?" : row->name) +
                            ((state & MF_CHECKED) != 0 ? " checked" : "") +
                            ((state & (MF_GRAYED | MF_DISABLED)) != 0 ? " disabled" : ""));
    }
  }
}

void Finish() {
  Check& check = TheCheck();
  SetBoxObserver({});
  std::ofstream out(std::filesystem::path(WideFromUtf8(check.report)), std::ios::binary);
  for (const std::string& line : check.lines) out << line << "\n";
  out << "end\n";
  out.close();
  check.window->View().closeWindow();
}

BOOL CALLBACK QuietTips(HWND window, LPARAM) {
  if (ClassOf(window) == TOOLTIPS_CLASSA) {
    SendMessageW(window, TTM_ACTIVATE, FALSE, 0);
    ShowWindow(window, SW_HIDE);
  }
  return TRUE;
}

void CALLBACK RunCheck(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  Check& check = TheCheck();
  Win32MainWindow& window = *check.window;
  // No tooltip covers the pictures.
  SetCursorPos(0, 0);
  EnumThreadWindows(GetCurrentThreadId(), QuietTips, 0);
  Measure(window.Handle(), "idle");
  Menus(window);
  Pictures(window);
  ExtraRows(window);
  RunTexts(window);
  Boxes(window);
  WebBoxes(window);
  Finish();
}

}  // namespace

void PrepareLayoutCheck(Win32MainWindow& window) {
  Check& check = TheCheck();
  check.report = Variable(kReportVariable);
  if (check.report.empty()) return;
  check.window = &window;
  check.pictures = Variable(kPictureVariable);
  // Every box is measured as it comes up, the start-up's too, and closed.
  SetBoxObserver(MeasureBox);
  SetTimer(nullptr, 0, kStartDelayMs, RunCheck);
}
