// Return, Enter and Escape as a person presses them, through the window system's own
// way in (QWindowSystemInterface, as the platform plugin delivers keys): the window
// acts on them only when no popup has them.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QMenu>

#include <atomic>

#include "gui/main_window_fixture.h"
#include "pty_pair.h"

namespace {

class KeysTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    SetExtraPorts({first_.slavePath, second_.slavePath});
  }

  // Repair mode: no erase warning comes up to take the keys.
  TfrmMain& OpenActive() {
    TfrmMain& window = Open({"vornbsl", "-rep"});
    Core().SetUpdateRunner([this](UpdateRun&) { return ++runs_; });
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    return window;
  }

  // The port list as a click opens it.
  QAbstractItemView* OpenPortList() {
    auto* combo = Find<QComboBox>("cbCommPort");
    QTest::mouseClick(combo, Qt::LeftButton);
    QAbstractItemView* list = combo->view();
    EXPECT_TRUE(QTest::qWaitFor([&] { return list->isVisible(); }, kWaitMs));
    return list;
  }

  // Settles what a key may have set off: a run starts on a 100 ms timer.
  void Settle() {
    QTest::qWait(300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Core().RunActive(); }, kWaitMs));
  }

  PtyPair first_;
  PtyPair second_;
  std::atomic<int> runs_{0};
};

// Keys go to the window that has the keyboard; a platform may name the popup's own window
// or the focus window (the main window: a popup takes no focus), and both must reach the popup.
QWindow* PopupWindow(QWidget* popup) { return popup->window()->windowHandle(); }
QWindow* FocusWindow(QWidget*) { return QGuiApplication::focusWindow(); }

TEST_F(KeysTest, ReturnAndEscapeInTheOpenPortListActOnTheListOnly) {
  TfrmMain& window = OpenActive();
  auto* combo = Find<QComboBox>("cbCommPort");
  for (QWindow* (*target)(QWidget*) : {PopupWindow, FocusWindow}) {
    const int picked = combo->currentIndex() == 0 ? 1 : 0;
    QAbstractItemView* list = OpenPortList();
    QTest::keyClick(target(list), picked == 1 ? Qt::Key_Down : Qt::Key_Up);
    QTest::keyClick(target(list), Qt::Key_Return);
    Settle();
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(combo->currentIndex(), picked) << "Return picks the port";
    EXPECT_EQ(Core().State().portName, picked == 1 ? second_.slavePath : first_.slavePath);
    EXPECT_EQ(runs_, 0) << "Return in the list started an update";

    list = OpenPortList();
    QTest::keyClick(target(list), Qt::Key_Escape);
    Settle();
    EXPECT_FALSE(list->isVisible()) << "Escape closes the list";
    EXPECT_TRUE(window.isVisible()) << "Escape in the list closed the window";
  }
  // With the list closed the keys are the window's again: Return presses Start.
  QTest::keyClick(window.windowHandle(), Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return runs_ == 1 && !Core().RunActive(); }, kWaitMs));
  QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
}

TEST_F(KeysTest, EscapeAndReturnInAnOpenMenuStayInTheMenu) {
  TfrmMain& window = OpenActive();
  auto* help = Find<QMenu>("Help1");
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    help->popup(window.mapToGlobal(QPoint(0, 0)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return help->isVisible(); }, kWaitMs));
    QTest::keyClick(FocusWindow(help), key);
    Settle();
    EXPECT_EQ(runs_, 0) << QKeySequence(key).toString().toStdString();
    EXPECT_TRUE(window.isVisible()) << QKeySequence(key).toString().toStdString();
    help->hide();
  }
}

}  // namespace
