// TfrmMain, the updater's main window: start-up, preferences, the port
// selector, menus, timers, the error box and the close guard, the commands
// that do not update a device, and the window's side of an update run.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/update_run.h"
#include "serial/port_enum.h"

class PortComboBox;
class QAction;
class QFrame;
class QLabel;
class QLayout;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QShortcut;
class QTimer;
class TfrmWeb;
struct BuiltInImage;
struct HostBSL;
struct MainWindowDialogs;
struct MainWindowUi;
class WindowRunUi;

struct MainWindowOptions {
  std::optional<QStringList> arguments;  // the command line, program name first; the application's when unset
  const BuiltInImage* image = nullptr;   // the image the engine starts with; the build's own when null
  MainWindowDialogs* dialogs = nullptr;  // boxes and file dialogs; the Qt ones when null
  std::function<PortSources()> ports;    // where ports are looked for, asked at every listing; the system's when empty
};

// Progress per upload callback for an image text of this length.
float UploadStepFor(size_t imageLength);

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmMain(MainWindowOptions options = {});
  ~TfrmMain() override;
  TfrmMain(const TfrmMain&) = delete;
  TfrmMain& operator=(const TfrmMain&) = delete;

  // The feedback window whose HTTP client serves the version check and the feedback form.
  void SetWebWindow(TfrmWeb* web);
  // What the Start button runs; an empty runner restores the default, which
  // only tells the person that this build cannot update devices.
  void SetUpdateRunner(UpdateRunner runner);

  UpdaterState& State() { return state_; }
  UpdateUi& Ui();
  HostBSL* Engine() { return engine_.get(); }  // null until the first showing
  MessageLog* Log() { return log_.get(); }      // null until the first showing
  bool RunActive() const { return state_.updateInProgress; }
  int LastRunResult() const { return lastRunResult_; }
  const std::vector<CommPortEntry>& PortTable() const { return portTable_; }

  // The first showing builds everything (runs once, from the show event).
  void FormShow();
  // The modal error box; its text is logged after it closes.
  void ShowErrorBox(const std::string& text, const std::string& title, int kind);
  // The close guard: true when the window may close; while a run is active it
  // says so in a box and keeps the window open.
  bool ConfirmClose();

  void cbCommPortDropDown();
  void cbCommPortChange(int index);
  void btnStartClick();
  void btnCloseClick();
  void UpdateFirmware1Click();
  void timerStartTimer();
  void timerEraseWarnTimer();
  void timerConstructorErrorsTimer();
  void tWebCheckTimer();
  void VerboseErrorFile1Click();
  void ForceFindAllCommPorts1Click();
  void ReplaceSerialNumber1Click();
  void DontEraseData1Click();
  // The "Set Digital Sensor to:" choice: the only checked item, the selected type,
  // the display name, the version-finder file and userText1.
  void SelectSensorType(uint32_t type);
  void OpenFirmwareFile1Click();
  void DumpFirmwareImage1Click();
  void Help2Click();
  void About1Click();
  void CheckforUpdates1Click();
  void SendFeedbacktoTessaly1Click();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  QLayout* BuildHeader(QWidget* client);
  QWidget* BuildPanel(QWidget* client);
  QLayout* BuildButtons(QWidget* client);
  void KeepWrappedLinesWhole();
  void BuildMenus();
  void BuildTimers();
  void ConnectControls();
  void CentreOnScreen();

  void ShowSensorMenu(bool shown);
  void CheckSensorItem(uint32_t type);
  void ReadCommandLine();
  void ReadPreferences();
  void WritePreferences() const;
  void CreateObjects();
  void ListPortsAtStart();
  void SetModelTexts();
  void StartTimerChain();
  void FormClose();

  int EnumeratePorts();
  void SelectPort(int index);

  bool StartRequested() const;
  void BeginRun();
  void RunFinished(int result);
  void AbandonRun();
  bool UpdateUnfinished() const;
  void ShowUnfinished(bool shown);
  void ReturnToIdle();

  MainWindowOptions options_;
  std::unique_ptr<MainWindowDialogs> ownDialogs_;
  MainWindowDialogs* dialogs_ = nullptr;
  UpdaterState state_;
  std::unique_ptr<MessageLog> log_;
  std::unique_ptr<HostBSL> engine_;
  std::unique_ptr<SerialPort> enumPort_;  // only for listing ports
  std::unique_ptr<MainWindowUi> ui_;
  UpdateRunner runner_;
  // The run on its own thread: its copy of the state and its way to the window.
  UpdaterState runState_;
  std::unique_ptr<WindowRunUi> runUi_;
  std::thread runThread_;
  QPointer<TfrmWeb> web_;
  std::vector<CommPortEntry> portTable_;
  int selectedPort_ = 0;
  std::optional<std::string> savedPortName_;  // "CommPort" of the preferences, when present
  bool shown_ = false;
  int lastRunResult_ = 0;

  QLabel* Image1 = nullptr;
  QLabel* userText1 = nullptr;
  QLabel* userText2 = nullptr;
  QLabel* lblConnect = nullptr;
  QFrame* Panel1 = nullptr;
  QLabel* commLabel = nullptr;
  PortComboBox* cbCommPort = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* statusText = nullptr;
  // Under the status line: says that a failed run left an unfinished update for
  // Start to resume. Hidden until a run fills it.
  QLabel* unfinishedLine_ = nullptr;
  QProgressBar* statusBar = nullptr;
  QLabel* newSN = nullptr;
  QLineEdit* newSNstr = nullptr;
  QPushButton* btnClose = nullptr;
  QPushButton* btnStart = nullptr;

  QMenu* File1 = nullptr;
  QMenu* Settings1 = nullptr;
  QMenu* Help1 = nullptr;
  QAction* OpenFirmwareFile1 = nullptr;
  QAction* UpdateFirmware1 = nullptr;
  QAction* DumpFirmwareImage1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* VerboseErrorFile1 = nullptr;
  QAction* ForceFindAllCommPorts1 = nullptr;
  QAction* DontEraseData1 = nullptr;
  QAction* ReplaceSerialNumber1 = nullptr;
  QAction* SensorSeparator = nullptr;
  QAction* SetDigitalSensorto1 = nullptr;
  std::vector<QAction*> SensorItems;  // in menu order, one per SensorMenuItems() entry
  QAction* Help2 = nullptr;
  QAction* SendFeedbacktoTessaly1 = nullptr;
  QAction* CheckforUpdates1 = nullptr;
  QAction* About1 = nullptr;
  QShortcut* DumpShortcut = nullptr;

  QTimer* timerStart = nullptr;
  QTimer* timerEraseWarn = nullptr;
  QTimer* timerConstructorErrors = nullptr;
  QTimer* tWebCheck = nullptr;
};
