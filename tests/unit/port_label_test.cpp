// The names the port listing gives the maker's cable adapter: in the list, and the friendly
// name written back into the system's own device lists.
#include <gtest/gtest.h>

#include "serial/port_enum.h"

namespace {

TEST(AdapterFriendlyName, OnlyTheCableAdapterIsRenamedAndItKeepsItsPort) {
  const char* const kCable = "FTDIBUS\\VID_0403+PID_8414\\TESSALY_UXA01 [2]";
  const struct {
    const char* friendly;
    const char* instanceId;
    const char* renamed;
  } cases[] = {
      {"Tessaly USB Serial Port (COM7)", kCable, "VANTO USB Adapter [2] (COM7)"},
      {"Tessaly UXA (COM7)", "USB\\VID_0403&PID_8414\\TESSALY_UXA01", "VANTO USB Adapter (COM7)"},
      {"Tessaly UXA (COM7)", "USB\\VID_0403&PID_6001\\TESSALY_UXA01", ""},  // not the cable's product ID
      {"USB Serial Port (COM7)", kCable, ""},                                // not the maker's name
      {"VANTO USB Adapter (COM7)", kCable, ""},                              // renamed before
      {"", kCable, ""},
  };
  for (const auto& c : cases) {
    const FoundPort port{"COM7", 7, c.friendly, c.instanceId};
    EXPECT_EQ(AdapterFriendlyName(port), c.renamed) << c.friendly << " / " << c.instanceId;
  }
}

TEST(AdapterFriendlyName, TheListedLabelAgreesWithTheNameWrittenBack) {
  FoundPort port{"COM12", 12, "Tessaly USB Serial Port (COM12)", "USB\\VID_0403&PID_8414\\TESSALY_UXA9 [A]"};
  const std::string renamed = AdapterFriendlyName(port);
  EXPECT_EQ(DescribePort(port), "COM12 VANTO USB Adapter [A]");
  port.friendlyName = renamed;  // the next listing reads the name written back
  EXPECT_EQ(DescribePort(port), "COM12 VANTO USB Adapter [A]");
  CommPortEntry entry{"COM12", DescribePort(port), 12};
  ApplyAdapterRules(entry);
  EXPECT_FALSE(entry.notCableAdapter);
}

}  // namespace
