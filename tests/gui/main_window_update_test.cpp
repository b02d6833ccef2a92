// The whole update through the real window: the simulated TGX on a pseudo-terminal,
// the port picked in the selector, Start clicked, every box answered by the recorder.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/update_session.h"
#include "devsim_process.h"
#include "gui/main_window_fixture.h"

namespace {

constexpr int kUpdateWaitMs = 90000;

TEST_F(MainWindowTest, StartUpdatesTheSimulatedTgxAndKeepsItsSettings) {
  DevsimProcess sim({"--device", "TGX:1.40"});
  SetExtraPorts({sim.ptyPath});
  Open();
  Core().SetUpdateRunner(InstrumentUpdateRunner());
  QPushButton* start = Find<QPushButton>("btnStart");
  ASSERT_TRUE(start->isEnabled());

  QTest::mouseClick(start, Qt::LeftButton);
  // The run happens inside the start timer's tick; the window is idle again once it returns.
  const auto finished = [&] {
    return !Core().RunActive() && Find<QPushButton>("btnClose")->isDefault();
  };
  ASSERT_TRUE(QTest::qWaitFor(finished, kUpdateWaitMs));

  EXPECT_TRUE(Text("statusText").startsWith("Successfully updated firmware in ")) << Text("statusText").toStdString();
  EXPECT_EQ(Find<QProgressBar>("statusBar")->value(), 100);
  EXPECT_EQ(Text("lblConnect"), "You may disconnect your Pelloran TGX now.");
  for (const ShownBox& box : dialogs_.boxes) {
    EXPECT_EQ(box.title, "Data Erase Warning") << box.text;
  }
  const nlohmann::json report = sim.Stop();
  EXPECT_EQ(report["firmware"]["version"], 150);
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]);
  EXPECT_TRUE(report["faults"].empty());
}

}  // namespace
