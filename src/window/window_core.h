// WindowCore, the updater's main window without its toolkit: the first showing,
// the command line, the preferences, the data folder, the start-up timers, the
// port selector, Start and the run on its own thread, the error box and the close
// guard, and every menu command. A face forwards the person's events to it and
// implements the seams it calls out through; the face draws, the core decides.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/update_run.h"
#include "serial/port_enum.h"
#include "window/menu_table.h"
#include "window/window_clock.h"
#include "window/window_view.h"

struct BuiltInImage;
struct HostBSL;
struct WindowDialogs;
struct WindowPlatform;
struct WindowUi;
struct WindowWeb;
class WindowRunUi;

// What the core talks to; all of it outlives the core.
struct WindowSeams {
  WindowView& view;
  WindowDialogs& dialogs;
  WindowClock& clock;
  WindowPlatform& platform;
};

// Lists the ports as CommPortEnum does: at most *count entries (the capacity on entry).
using PortLister =
    std::function<int(const SerialPort& record, std::vector<CommPortEntry>* table, int* count, bool force)>;

struct WindowOptions {
  const BuiltInImage* image = nullptr;  // the image the engine starts with; the build's own when null
  PortLister listPorts;                 // the system's ports when empty
};

// The "NetworkPorts" preference: network ports' URLs, a space between two; what is no network
// port's URL is left out.
std::vector<std::string> SplitNetworkPorts(const std::string& text);
std::string JoinNetworkPorts(const std::vector<std::string>& urls);

// Progress per upload callback for an image text of this length.
float UploadStepFor(size_t imageLength);

class WindowCore {
 public:
  explicit WindowCore(WindowSeams seams, WindowOptions options = {});
  ~WindowCore();
  WindowCore(const WindowCore&) = delete;
  WindowCore& operator=(const WindowCore&) = delete;

  // Events from the face.
  void shown();                // every showing; the first builds everything (FormShow)
  void timer(TimerId id);      // a started timer ticked
  void portListOpening();      // the port selector is about to open (cbCommPortDropDown)
  void portPicked(int index);  // the person picked an entry (cbCommPortChange)
  void startPressed();         // btnStartClick
  void closePressed();         // btnCloseClick
  // The window is asked to close (close box, Alt+F4, "&Exit", Close): true when it may.
  bool closeRequested();
  void menu(MenuId id);  // an item was chosen; a toggle's check mark is the core's to flip
  // Return/Enter or Escape that came to the window itself; a key an open popup (the port list,
  // a menu) takes is the popup's and never comes here.
  void keyPressed(Key key);

  // What the face lends: the web services (none: their commands do nothing) and what Start
  // runs (none: a box says this build cannot update devices).
  void SetWeb(WindowWeb* web) { web_ = web; }
  void SetUpdateRunner(UpdateRunner runner) { runner_ = std::move(runner); }

  UpdaterState& State() { return state_; }
  const UpdaterState& State() const { return state_; }
  HostBSL* Engine() { return engine_.get(); }  // null until the first showing
  MessageLog* Log() { return log_.get(); }      // null until the first showing
  bool Shown() const { return shown_; }
  bool RunActive() const { return state_.updateInProgress; }
  int LastRunResult() const { return lastRunResult_; }
  const std::vector<CommPortEntry>& PortTable() const { return portTable_; }
  bool TimerActive(TimerId id) const;
  MenuState MenuItem(MenuId id) const;
  Control DefaultButton() const { return defaultButton_; }

  // The modal error box; its text is logged after it closes.
  void ShowErrorBox(const std::string& text, const std::string& title, int kind);
  // The close guard: true when the window may close; while a run is active it says so in a
  // box and keeps the window open.
  bool ConfirmClose();

  // The handlers, by the form's names.
  void cbCommPortDropDown();
  void cbCommPortChange(int index);
  void btnStartClick();
  void UpdateFirmware1Click();
  void timerStartTimer();
  void timerEraseWarnTimer();
  void timerConstructorErrorsTimer();
  void tWebCheckTimer();
  void VerboseErrorFile1Click();
  void ForceFindAllCommPorts1Click();
  // Settings, "Network Ports...": a port on a network serial server joins the port list.
  void NetworkPorts1Click();
  void ReplaceSerialNumber1Click();
  void DontEraseData1Click();
  // The "Set Digital Sensor to:" choice: the only checked item, the selected type, the
  // display name, the version-finder file and userText1.
  void SelectSensorType(uint32_t type);
  void OpenFirmwareFile1Click();
  void DumpFirmwareImage1Click();
  void Help2Click();
  void About1Click();
  void CheckforUpdates1Click();
  void SendFeedbacktoTessaly1Click();

 private:
  // window_startup.cpp
  void FormShow();
  void ReadCommandLine();
  void ReadPreferences();
  void WritePreferences();
  std::string DataFolder() const;
  void CreateObjects();
  void SetModelTexts();
  void StartTimerChain();
  void FormClose();
  // window_ports.cpp
  int EnumeratePorts();
  void SelectPort(int index);
  void ListPortsAtStart();
  void AddNetworkPorts();
  void ShowPorts(const std::string& selected);
  // window_run.cpp
  bool StartRequested() const;
  void BeginRun();
  void RunFinished(int result);
  void AbandonRun();
  bool UpdateUnfinished() const;
  void ShowUnfinished(bool shown);
  void ReturnToIdle();
  // window_menu.cpp
  void SetMenuItem(MenuId id, const MenuState& state);
  void ShowMenuItem(MenuId id, bool shown);
  void EnableMenuItem(MenuId id, bool on);
  void CheckMenuItem(MenuId id, bool checked);
  bool FlipMenuItem(MenuId id);
  void ShowSensorMenu(bool shown);
  void CheckSensorItem(uint32_t type);
  // window_core.cpp
  void StartTimer(TimerId id);
  void StopTimer(TimerId id);
  bool Enabled(Control control) const;
  void Enable(Control control, bool on);
  void SetDefaultButton(Control button);
  void Post(std::function<void()> call);

  WindowView& view_;
  WindowDialogs& dialogs_;
  WindowClock& clock_;
  WindowPlatform& platform_;
  WindowOptions options_;
  WindowWeb* web_ = nullptr;
  UpdaterState state_;
  std::unique_ptr<MessageLog> log_;
  std::unique_ptr<HostBSL> engine_;
  std::unique_ptr<SerialPort> enumPort_;  // only for listing ports
  std::unique_ptr<WindowUi> ui_;
  UpdateRunner runner_;
  // The run on its own thread: its copy of the state and its way to the window.
  UpdaterState runState_;
  std::unique_ptr<WindowRunUi> runUi_;
  std::thread runThread_;
  std::vector<CommPortEntry> portTable_;
  int selectedPort_ = 0;
  std::optional<std::string> savedPortName_;  // "CommPort" of the preferences, when present
  std::vector<std::string> networkPorts_;     // "NetworkPorts" of the preferences: URLs
  bool shown_ = false;
  int lastRunResult_ = 0;
  std::map<MenuId, MenuState> menuStates_;
  std::map<TimerId, bool> timersActive_;
  std::map<Control, bool> enabled_;
  Control defaultButton_ = Control::btnStart;
  // Calls posted to the window's thread run only while the core that posted them lives.
  std::shared_ptr<const bool> lifetime_ = std::make_shared<const bool>(true);
};
