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

}  // namespace
