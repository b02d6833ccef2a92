// The whole update through the real window: the simulated TGX on a pseudo-terminal,
// the port picked in the selector, Start clicked, every box answered by the recorder.
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/update_session.h"
#include "devsim_process.h"
#include "gui/main_window_fixture.h"
#include "network_server.h"

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

// A device on a network serial server: added under Settings, "Network Ports...", by host and
// port, listed by its URL, picked and started like a port of the computer's own; kept in the
// preferences beside the last port.
TEST_F(MainWindowTest, ANetworkPortIsAddedPickedAndStarted) {
  DevsimProcess sim({"--device", "TGX:1.40"});
  const Ser2NetServer server({sim.ptyPath}, dataDir_.path().toStdString());
  Open();
  Core().SetUpdateRunner(InstrumentUpdateRunner());
  dialogs_.networkAnswers = {{NetworkPortsAnswer::Action::kAdd, "127.0.0.1", std::to_string(server.ports[0])}};
  Action("NetworkPorts1")->trigger();
  QComboBox* ports = Find<QComboBox>("cbCommPort");
  EXPECT_EQ(ports->currentText().toStdString(), server.Url());
  EXPECT_EQ(Setting("NetworkPorts").toString().toStdString(), server.Url());

  QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Core().RunActive() && Find<QPushButton>("btnClose")->isDefault(); },
                              kUpdateWaitMs));
  EXPECT_TRUE(Text("statusText").startsWith("Successfully updated firmware in ")) << Text("statusText").toStdString();
  const nlohmann::json report = sim.Stop();
  EXPECT_EQ(report["firmware"]["version"], 150);
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]);
  window_->close();
  EXPECT_EQ(Setting("CommPort").toString().toStdString(), server.Url());
}

// Two devices were left in their loaders by cut uploads; the window asks whose settings the one
// it updates now gets, naming both, and puts back the file the person chose.
TEST_F(MainWindowTest, TheWindowAsksWhoseSettingsADeviceInItsLoaderGets) {
  DevsimProcess a({"--device", "TGX:1.40", "--unit", "1", "--fault", "silence@write:300x3"});
  DevsimProcess b({"--device", "TGX:1.40", "--unit", "2", "--fault", "silence@write:300x3"});
  SetExtraPorts({a.ptyPath, b.ptyPath});
  Open();
  Core().SetUpdateRunner(InstrumentUpdateRunner());
  const auto runOn = [&](int portIndex) {
    Core().portPicked(portIndex);
    QTest::mouseClick(Find<QPushButton>("btnStart"), Qt::LeftButton);
    return QTest::qWaitFor([&] { return Core().RunActive(); }, kUpdateWaitMs) &&
           QTest::qWaitFor([&] { return !Core().RunActive(); }, kUpdateWaitMs);
  };
  QComboBox* ports = Find<QComboBox>("cbCommPort");
  const int portA = ports->findText(Q(a.ptyPath), Qt::MatchContains);
  const int portB = ports->findText(Q(b.ptyPath), Qt::MatchContains);
  ASSERT_GE(portA, 0);
  ASSERT_GE(portB, 0);
  ASSERT_TRUE(runOn(portA));
  ASSERT_TRUE(runOn(portB));
  a.EndFaults();
  b.EndFaults();

  dialogs_.choices.clear();
  dialogs_.onBox = [&](const ShownBox& box) {
    if (box.kind != kAskedChoice) return;
    const std::vector<std::string>& options = dialogs_.choices.back().options;
    for (size_t i = 0; i < options.size(); ++i) {
      if (options[i].find("serial number TGX-015578,") != std::string::npos) dialogs_.choiceAnswer = static_cast<int>(i);
    }
  };
  ASSERT_TRUE(runOn(portA));
  std::string shown;
  for (const ShownBox& box : dialogs_.boxes) shown += box.title + ": " + box.text + "\n";
  ASSERT_EQ(dialogs_.choices.size(), 1u) << shown;
  EXPECT_EQ(dialogs_.choices[0].options.size(), 2u);
  EXPECT_EQ(Core().LastRunResult(), 1);
  const nlohmann::json report = a.Stop();
  EXPECT_EQ(report["settings"]["current"], report["settings"]["before"]);
}

}  // namespace
