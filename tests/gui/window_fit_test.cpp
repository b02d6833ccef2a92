// Every text the window can show fits whole, in the build this program links
// (instrument or digital sensor) and at the screen DPI its main() was given:
// the idle window, every stage text and instruction of a run for every model
// name the window can hold, and every box. A clipped or cut-off text fails.
// With VORNBSL_SCREENSHOT_DIR set, the idle and mid-update pictures are saved there.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionComboBox>

#include <filesystem>
#include <span>

#include "app/build_target.h"
#include "bsl/device_profile.h"
#include "bsl/device_types.h"
#include "gui/main_window_dialogs.h"
#include "gui/main_window_fixture.h"
#include "gui/web_ui_boxes.h"
#include "window/window_texts.h"
#include "pty_pair.h"
#include "sdi12/sdi_sensor.h"
#include "web/feedback_post.h"
#include "web_support/recording_ui.h"

namespace {

constexpr char kMeasureTitle[] = "measure";  // the question a test run asks when its texts are up
constexpr int kPictureBar = 56;

// The sequences' stage texts; "%M" is the model name.
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

std::string WithModel(const char* pattern, const std::string& model) {
  std::string text = pattern;
  const size_t at = text.find("%M");
  if (at != std::string::npos) text.replace(at, 2, model);
  return text;
}

void Settle() {
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

bool WhollyVisible(const QWidget& widget, const QRect& part) {
  return (QRegion(part) - widget.visibleRegion()).isEmpty();
}

std::string Describe(const QWidget& widget, const QString& text) {
  return widget.objectName().toStdString() + " \"" + text.toStdString() + "\"";
}

// The scroll area a label scrolls in, if any.
const QScrollArea* ScrolledIn(const QLabel& label) {
  const QWidget* viewport = label.parentWidget();
  return viewport == nullptr ? nullptr : qobject_cast<const QScrollArea*>(viewport->parentWidget());
}

// A scrolled label is reached whole when its scroll area shows whole and scrolls over all of it.
bool Reachable(const QLabel& label, const QScrollArea& area) {
  const QSize hidden = label.size() - area.viewport()->size();
  return WhollyVisible(area, area.rect()) && area.verticalScrollBar()->maximum() >= hidden.height() &&
         area.horizontalScrollBar()->maximum() >= hidden.width();
}

// A label's text against the room it has: wrapped lines need the height, unwrapped ones the width.
bool LabelFits(const QLabel& label) {
  const int margin = label.margin();
  const QRect room = label.contentsRect().adjusted(margin, margin, -margin, -margin);
  const int flags = static_cast<int>(label.alignment()) | (label.wordWrap() ? Qt::TextWordWrap : 0);
  const QRect needed = label.fontMetrics().boundingRect(room, flags, label.text());
  const QScrollArea* area = ScrolledIn(label);
  const bool seen = area != nullptr ? Reachable(label, *area) : WhollyVisible(label, needed);
  return needed.width() <= room.width() && needed.height() <= room.height() && seen;
}

bool ComboFits(const QComboBox& combo) {
  QStyleOptionComboBox option;
  option.initFrom(&combo);
  option.currentText = combo.currentText();
  option.frame = true;
  const QRect field = combo.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &combo);
  return combo.fontMetrics().horizontalAdvance(combo.currentText()) <= field.width() && WhollyVisible(combo, combo.rect());
}

// The texts and controls of a window (or box) that do not show whole; empty when all fit.
std::vector<std::string> Cut(const QWidget& window) {
  std::vector<std::string> cut;
  const auto shown = [&window](const QWidget* widget) { return widget->isVisibleTo(&window); };
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    if (shown(label) && !label->text().isEmpty() && !LabelFits(*label)) cut.push_back(Describe(*label, label->text()));
  }
  for (const QPushButton* button : window.findChildren<QPushButton*>()) {
    const bool fits = button->sizeHint().width() <= button->width() && WhollyVisible(*button, button->rect());
    if (shown(button) && !fits) cut.push_back(Describe(*button, button->text()));
  }
  for (const QComboBox* combo : window.findChildren<QComboBox*>()) {
    if (shown(combo) && !ComboFits(*combo)) cut.push_back(Describe(*combo, combo->currentText()));
  }
  for (const QWidget* control : window.findChildren<QWidget*>()) {
    const bool field = qobject_cast<const QProgressBar*>(control) != nullptr || qobject_cast<const QLineEdit*>(control);
    if (field && shown(control) && !WhollyVisible(*control, control->rect())) cut.push_back(Describe(*control, {}));
  }
  return cut;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string joined;
  for (const std::string& line : lines) joined += "\n  " + line;
  return joined;
}

class WindowFitTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    SetExtraPorts({pty_.slavePath});
  }

  // Opens the window and lets its start-up boxes (the erase warning) come and go.
  TfrmMain& OpenIdle() {
    TfrmMain& window = Open();
    QTest::qWait(700);
    Settle();
    return window;
  }
  bool SensorBuild() { return Core().State().digitalSensorBuild; }

  struct Model {
    std::function<void()> apply;  // as the window takes it on
    std::string name;             // the model name it gives the window
  };

  // Every model name the window can hold.
  std::vector<Model> Models() {
    std::vector<Model> models;
    if (SensorBuild()) {
      for (const SensorMenuItem& item : SensorMenuItems()) {
        models.push_back({[this, type = item.type] { Core().SelectSensorType(type); }, SensorTypeName(item.type)});
      }
      return models;
    }
    // Opening a firmware file names the window after the file's device kind.
    const std::string release = std::string(VORN_SOURCE_DIR) + "/firmware/TGX 1.50.txt";
    for (int kind = kDeviceTypeFirst; kind <= kDeviceTypeLast; ++kind) {
      const std::string tag(DeviceTypeTag(kind));
      if (tag.find_first_of(" -_") != std::string::npos) continue;  // a file name ends its kind there
      const std::string path = DataPath(tag + " 1.50.txt");
      std::filesystem::copy_file(release, path, std::filesystem::copy_options::overwrite_existing);
      const auto open = [this, path] {
        dialogs_.openPath = path;
        Core().OpenFirmwareFile1Click();
      };
      models.push_back({open, std::string(ProfileName(kind))});
    }
    return models;
  }

  std::vector<std::string> RunTexts(const std::string& model) {
    std::vector<std::string> texts;
    for (const char* stage : kSharedStages) texts.push_back(WithModel(stage, model));
    for (const char* stage : SensorBuild() ? std::span<const char* const>(kSensorStages) : std::span<const char* const>(kInstrumentStages)) {
      texts.push_back(WithModel(stage, model));
    }
    return texts;
  }

  // Starts a run through the Start button whose runner calls body and returns
  // when the window is idle again.
  void Run(const std::function<void(UpdateRun&)>& body) {
    int finished = 0;
    Core().SetUpdateRunner([body, &finished](UpdateRun& run) {
      body(run);
      ++finished;
      return 1;
    });
    Core().startPressed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished == 1 && !Core().RunActive(); }, kWaitMs));
    Core().SetUpdateRunner({});
  }

  // Asked from inside a run: the window's texts are up and the window is at its smallest.
  static void Measure(UpdateRun& run) { run.ui.ask("", kMeasureTitle); }

  // Whatever the window shows when a run measures, at the window's smallest size.
  void CheckWhenMeasured(const std::string& what) {
    dialogs_.onBox = [this, what](const ShownBox& box) {
      if (box.title != kMeasureTitle) return;
      ExpectFitsAtSmallest(what + " / " + Text("statusText").toStdString());
    };
  }

  void ExpectFitsAtSmallest(const std::string& what) {
    Settle();
    window_->resize(window_->minimumSize());
    Settle();
    EXPECT_EQ(Joined(Cut(*window_)), "") << what << " at " << window_->width() << "x" << window_->height();
  }

  // A box shown over the window lies within the screen's available area, its texts whole
  // (or reached by scrolling) and its buttons in sight.
  void ExpectFitsTheScreen(std::unique_ptr<QDialog> box, const std::string& title) {
    box->show();
    Settle();
    const QRect screen = window_->screen()->availableGeometry();
    const QRect frame = box->frameGeometry();
    EXPECT_TRUE(screen.contains(frame)) << title << " " << frame.width() << "x" << frame.height() << " at "
                                        << frame.x() << "," << frame.y();
    EXPECT_EQ(Joined(Cut(*box)), "") << title;
    EXPECT_FALSE(box->findChildren<QPushButton*>().isEmpty()) << title;
    box->close();
  }

  void SavePicture(const char* state) {
    const QString folder = qEnvironmentVariable("VORNBSL_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    const int dpi = qRound(window_->screen()->logicalDotsPerInch());
    const QString name = QStringLiteral("%1-window-%2%3.png")
                             .arg(SensorBuild() ? QStringLiteral("sensor") : QStringLiteral("instrument"))
                             .arg(QString::fromLatin1(state))
                             .arg(dpi == 96 ? QString() : QStringLiteral("-%1dpi").arg(dpi));
    const QString path = QDir(folder).filePath(name);
    EXPECT_TRUE(window_->grab().save(path, "PNG")) << path.toStdString();
  }

  PtyPair pty_;
};

TEST_F(WindowFitTest, IdleWindowShowsEveryTextWhole) {
  TfrmMain& window = OpenIdle();
  const int dpi = qEnvironmentVariableIsSet("VORNBSL_TEST_DPI") ? qEnvironmentVariableIntValue("VORNBSL_TEST_DPI") : 96;
  ASSERT_EQ(qRound(window.screen()->logicalDotsPerInch()), dpi) << "the screen has the DPI asked for";
  EXPECT_EQ(Joined(Cut(window)), "") << "as first shown, " << window.width() << "x" << window.height();
  SavePicture("idle");
  ExpectFitsAtSmallest("idle");
  // The serial number row of factory mode.
  Find<QLabel>("newSN")->show();
  Find<QLineEdit>("newSNstr")->show();
  ExpectFitsAtSmallest("with the serial number row");
  // The line under the status line that a failed run leaves.
  auto* unfinished = Find<QLabel>("unfinishedLine");
  unfinished->setText(QStringLiteral("The update is unfinished: the settings of this device are kept, and Start "
                                     "resumes the update where it stopped."));
  unfinished->show();
  ExpectFitsAtSmallest("with the unfinished-update line");
}

// The window opens centred on the screen, at the size its contents need, and keeps it:
// a fixed border that neither the person nor a maximise changes.
TEST_F(WindowFitTest, WindowOpensCentredAtItsContentsSizeAndKeepsIt) {
  TfrmMain& window = OpenIdle();
  const QRect screen = window.screen()->availableGeometry();
  const QPoint offCentre = window.frameGeometry().center() - screen.center();
  EXPECT_LE(offCentre.manhattanLength(), 2) << "centre " << window.frameGeometry().center().x() << ","
                                            << window.frameGeometry().center().y();
  const QSize opened = window.size();
  EXPECT_EQ(window.minimumSize(), opened);
  EXPECT_EQ(window.maximumSize(), opened) << "the person cannot resize it";
  EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  window.resize(opened * 2);
  Settle();
  EXPECT_EQ(window.size(), opened);
  window.showMaximized();
  Settle();
  EXPECT_FALSE(window.isMaximized());
  EXPECT_EQ(window.size(), opened);

  // Larger fonts, or a screen of another DPI, size it afresh; back again, it is as it was.
  const QFont normal = QApplication::font();
  QFont larger = normal;
  larger.setPointSizeF(normal.pointSizeF() * 1.5);
  QApplication::setFont(larger);
  Settle();
  EXPECT_TRUE(window.width() > opened.width() && window.height() > opened.height());
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_EQ(Joined(Cut(window)), "") << "with larger fonts";
  QApplication::setFont(normal);
  Settle();
  EXPECT_EQ(window.size(), opened) << "with the fonts as they were";
  QScreen* other = QGuiApplication::screens().value(1);
  ASSERT_NE(other, nullptr);
  window.windowHandle()->setScreen(other);
  Settle();
  EXPECT_NE(window.size(), opened) << "at " << other->logicalDotsPerInch() << " DPI";
  EXPECT_EQ(Joined(Cut(window)), "") << "at " << other->logicalDotsPerInch() << " DPI";
  window.windowHandle()->setScreen(QGuiApplication::screens().value(0));
  Settle();
  EXPECT_EQ(window.size(), opened) << "back on its own screen";
}

TEST_F(WindowFitTest, EveryStageTextAndInstructionFitsForEveryModel) {
  OpenIdle();
  for (const Model& model : Models()) {
    model.apply();
    ASSERT_EQ(Core().State().modelName, model.name);
    ExpectFitsAtSmallest("idle, " + model.name);
    CheckWhenMeasured(model.name);
    Run([this](UpdateRun& run) {
      for (const char* instruction : kInstructions) {
        run.ui.setInstruction(WithModel(instruction, run.state.modelName));
        Measure(run);
      }
      for (const std::string& text : RunTexts(run.state.modelName)) {
        run.ui.stage(text);
        Measure(run);
      }
    });
    if (HasFailure()) return;
  }
}

TEST_F(WindowFitTest, MidUpdatePicture) {
  OpenIdle();
  dialogs_.onBox = [this](const ShownBox& box) {
    if (box.title != kMeasureTitle) return;
    Settle();
    EXPECT_EQ(Joined(Cut(*window_)), "");
    SavePicture("update");
  };
  Run([](UpdateRun& run) {
    run.ui.setInstruction(WithModel(kInstructions[0], run.state.modelName));
    run.ui.stage("Uploading new firmware code...");
    run.ui.setBar(kPictureBar);
    Measure(run);
  });
}

TEST_F(WindowFitTest, EveryBoxFitsTheScreen) {
  TfrmMain& window = OpenIdle();  // the instrument build's erase warning comes up here
  WindowCore& core = Core();
  core.Help2Click();
  core.About1Click();
  core.State().updateInProgress = true;
  EXPECT_FALSE(core.ConfirmClose());
  core.State().updateInProgress = false;
  dialogs_.openPath = dataDir_.path().toStdString() + "/a firmware file with a rather long name of its own.txt";
  { std::ofstream(dialogs_.openPath) << "not firmware\n"; }
  core.OpenFirmwareFile1Click();
  core.startPressed();  // this program runs no sequence: the "cannot update" box
  ASSERT_TRUE(QTest::qWaitFor([&] { return !core.RunActive() && dialogs_.Titled("Update Firmware").size() == 1; },
                              kWaitMs));
  ASSERT_GE(dialogs_.boxes.size(), 5u);

  // The longest of the sequences' own boxes, as they read for the longest names.
  const std::string model = "NIVARA 3x Family Sensor Suite";
  const std::string caption = CaptionFor(model);
  const std::string archive = dataDir_.path().toStdString() + "/Settings Archive";
  std::vector<ShownBox> boxes = dialogs_.boxes;
  boxes.push_back({"The " + caption + " did not put settings back into your " + model + ": no saved settings were " +
                     "chosen as its own. Its settings memory was not erased, so it keeps the settings it held.\n\n" +
                     "The settings of updates that did not finish are kept in the settings archive:\n\"" + archive +
                     "\"",
                   "Settings Not Restored", kBoxWarning});
  boxes.push_back({"Another updater is at work with the data folder\n\"" + dataDir_.path().toStdString() +
                     "\":\nvornbsl-sensor-cli (process 123456) on /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00"
                     "-port0.\n\nNothing was sent to the " + model + " on Comm Port \"ttyUSB0 (USB Serial Port)\". Please " +
                     "wait until the other update has finished, then try again.",
                   "Updater Busy", kBoxWarning});
  boxes.push_back({"The " + caption + " doesn't support this " + model + "\nrunning version 1.02.\n\n" +
                     "This updater only works with firmware version 1.20 (or newer).\n\nClick OK to force the update "
                     "anyway.\nClick CANCEL to quit the updater.",
                   "Wrong Firmware Version", kAskedQuestion});

  for (const ShownBox& shown : boxes) {
    const QString text = Q(shown.text);
    const QString title = Q(shown.title);
    ExpectFitsTheScreen(shown.kind < 0 ? MakeQuestion(&window, text, title) : MakeBox(&window, shown.kind, text, title),
                        shown.title);
  }

  // The feedback window's boxes, as they read with a long file name and a long failure.
  RecordingUi web;
  const QString bigFile = dataDir_.filePath(QStringLiteral("a measurement export with a long name of its own, "
                                                           "taken on the second bench in the afternoon.csv"));
  { QFile big(bigFile); ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(9 << 20)); }
  EXPECT_FALSE(AcceptSendFile(web, bigFile.toStdString()));
  WebClient nowhere;
  EXPECT_FALSE(OpenFeedbackForm(nowhere, web));
  web.boxes.push_back({FeedbackFailure(FeedbackKind(0), "Host requires authentication: the proxy "
                                       "at proxy.example.internal:3128 refused the request (407)"),
                       "Error Sending Feedback", false, kBoxWarning});
  web.boxes.push_back({QStringLiteral("There is information about a newer version of %1\navailable at "
                                      "https://www.example.com/support/downloads/firmware/updaters/%1/"
                                      "release-notes-and-downloads.html\n\nWould you like to visit this page with "
                                      "your web browser now?").arg(Q(caption)).toStdString(),
                       "New Version Available", true, kBoxInformation});
  for (const Box& shown : web.boxes) {
    ExpectFitsTheScreen(MakeAskBox(&window, Q(shown.text), Q(shown.caption), shown.yesNo, shown.kind), shown.caption);
  }

  // The question of whose settings a device gets, with many long options: it fits the screen,
  // its text is whole, and its options wrap and scroll.
  QStringList options;
  for (int i = 0; i < 12; ++i) {
    options.push_back(Q(model + ", serial number ABCDEFGHIJKLM" + std::to_string(i) + ", saved 2026-12-10 14:03:1" +
                        std::to_string(i % 10) + ": its update stopped after the device's settings memory was " +
                        "erased; not put back yet"));
  }
  std::unique_ptr<QDialog> choice = MakeChoice(
      &window,
      Q("Your " + model + " is in its firmware loader, where it cannot tell which " + model + " it is.\n\nThe " +
        "settings archive holds the settings of updates that did not finish. If one of them is this " + model +
        "'s own, choose it: it is put back after the update. Otherwise the " + model + " keeps the settings it " +
        "holds: its settings memory is not erased.\n\nThe archive is in \"" + archive + "\"."),
      QStringLiteral("Whose Settings"), options, Q("None of these: keep the settings this " + model + " holds"));
  ExpectFitsTheScreen(std::move(choice), "Whose Settings");
}

}  // namespace
