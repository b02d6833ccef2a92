// The port selector: no ports, a listing that changes under it, the person's pick.
#include "window/window_fixture.h"

namespace {

TEST_F(WindowCoreTest, NoPortsDisableStartUntilAPortIsPicked) {
  WindowCore& window = Open();
  EXPECT_EQ(view_->ports, std::vector<std::string>{"No Comm Ports Found"});
  EXPECT_EQ(view_->selectedPort, 0);
  EXPECT_EQ(window.State().portName, "");
  EXPECT_FALSE(view_->Enabled(Control::btnStart));
  EXPECT_TRUE(view_->menu.at(MenuId::UpdateFirmware1).enabled);

  // Opening the selector lists again; it leaves Start alone until a port is picked.
  window.portListOpening();
  EXPECT_EQ(view_->ports, std::vector<std::string>{"No Comm Ports Found"});
  window.portPicked(0);  // the "No Comm Ports Found" entry
  EXPECT_EQ(window.State().portName, "");
  EXPECT_FALSE(view_->Enabled(Control::btnStart));
  SetPorts({"ttyACM0"});
  window.portListOpening();
  EXPECT_EQ(view_->ports, std::vector<std::string>{Label("ttyACM0")});
  EXPECT_EQ(view_->PortShown(), Label("ttyACM0"));
  EXPECT_FALSE(view_->Enabled(Control::btnStart));
  window.portPicked(0);
  EXPECT_EQ(window.State().portName, "ttyACM0");
  EXPECT_TRUE(view_->Enabled(Control::btnStart));
}

TEST_F(WindowCoreTest, NoPortsAtCloseSavesAnEmptyPort) {
  platform_.texts["CommPort"] = "ttyS3";
  EXPECT_TRUE(Open().closeRequested());
  ASSERT_EQ(platform_.texts.count("CommPort"), 1u);
  EXPECT_EQ(platform_.texts.at("CommPort"), "");
}

TEST_F(WindowCoreTest, SelectorKeepsShowingThePortARunWillUse) {
  SetPorts({"ttyS0", "ttyUSB3"});
  WindowCore& window = Open();
  window.portPicked(1);
  ASSERT_EQ(window.State().portName, "ttyUSB3");

  // A port listed before it moves it down the list: still the same port.
  SetPorts({"ttyACM0", "ttyS0", "ttyUSB3"});
  window.portListOpening();
  EXPECT_EQ(view_->PortShown(), Label("ttyUSB3"));
  EXPECT_EQ(window.State().portName, "ttyUSB3");

  // The port is gone: the entry shown becomes the port.
  SetPorts({"ttyACM0"});
  window.portListOpening();
  EXPECT_EQ(view_->PortShown(), Label("ttyACM0"));
  EXPECT_EQ(window.State().portName, "ttyACM0");
  EXPECT_EQ(window.State().portLabel, Label("ttyACM0"));
}

TEST_F(WindowCoreTest, ForceFindAllPortsTakesEffectAtTheNextListing) {
  WindowCore& window = Open();
  window.menu(MenuId::ForceFindAllCommPorts1);
  EXPECT_TRUE(view_->menu.at(MenuId::ForceFindAllCommPorts1).checked);
  window.portListOpening();
  EXPECT_EQ(listings_, (std::vector<bool>{false, true}));
}

// Settings, "Network Ports...": a host and a port make a port of the list, shown by its URL,
// picked like any other, kept in the preferences beside the last port; a bad one is told.
TEST_F(WindowCoreTest, NetworkPortsAreAddedKeptAndRemoved) {
  using Action = NetworkPortsAnswer::Action;
  const std::string lab = "rfc2217://lab:4001", rack = "rfc2217://10.0.0.5:4002";
  platform_.texts["NetworkPorts"] = lab + " not-a-url";
  SetPorts({"ttyS0"});
  WindowCore& window = Open();
  EXPECT_EQ(view_->ports, (std::vector<std::string>{Label("ttyS0"), lab}));

  dialogs_.networkAnswers = {{Action::kAdd, " 10.0.0.5 ", "4002"},
                             {Action::kAdd, "lab", "99999"},
                             {Action::kAdd, "LAB", "04001"},
                             {Action::kRemove, "", "", 0}};
  window.menu(MenuId::NetworkPorts1);
  EXPECT_EQ(dialogs_.networkPortLists.back(), std::vector<std::string>{lab});
  EXPECT_EQ(view_->ports, (std::vector<std::string>{Label("ttyS0"), lab, rack}));
  EXPECT_EQ(view_->PortShown(), rack);
  EXPECT_EQ(window.State().portName, rack);
  EXPECT_TRUE(view_->Enabled(Control::btnStart));
  EXPECT_EQ(platform_.texts.at("NetworkPorts"), lab + " " + rack);

  window.menu(MenuId::NetworkPorts1);
  const std::vector<ShownBox> told = dialogs_.Titled("Network Ports");
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].text, "\"rfc2217://lab:99999\" is not a network port: its port number 99999 is not from 1 to "
                          "65535 (a network port is written rfc2217://HOST:PORT).");
  EXPECT_EQ(view_->ports.size(), 3u) << "nothing was added";

  window.menu(MenuId::NetworkPorts1);  // the lab's port by another spelling: picked, not added twice
  EXPECT_EQ(view_->ports.size(), 3u);
  EXPECT_EQ(window.State().portName, lab);

  window.menu(MenuId::NetworkPorts1);
  EXPECT_EQ(view_->ports, (std::vector<std::string>{Label("ttyS0"), rack}));
  EXPECT_EQ(platform_.texts.at("NetworkPorts"), rack);

  window.portPicked(1);
  EXPECT_TRUE(window.closeRequested());
  WindowCore& again = Open();
  EXPECT_EQ(view_->ports, (std::vector<std::string>{Label("ttyS0"), rack}));
  EXPECT_EQ(again.State().portName, rack) << "the last port, a network one, is chosen again";
}

}  // namespace
