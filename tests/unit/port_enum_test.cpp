#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "pty_pair.h"
#include "serial/port_enum.h"

namespace fs = std::filesystem;

namespace {

// A small sysfs and /dev of our own: each listed port's device node is a link to a
// pseudo-terminal, so opening it (and finding it busy) is real.
class FakeSystem {
 public:
  FakeSystem() : root_(fs::temp_directory_path() / ("vorn_ports_" + std::to_string(::getpid()))) {
    fs::remove_all(root_);
    fs::create_directories(root_ / "dev");
    sources.sysfsRoot = (root_ / "sys").string();
    sources.devRoot = (root_ / "dev").string();
  }
  ~FakeSystem() { fs::remove_all(root_); }

  // A USB adapter port with its vendor strings; a native UART when usb is false.
  void AddPort(const std::string& name, const PtyPair& pty, const std::string& product = "",
               const std::string& serial = "", const std::string& pid = "6001") {
    const fs::path tty = root_ / "sys/class/tty" / name;
    fs::create_directories(tty);
    fs::path device = root_ / "sys/devices" / name;
    if (!product.empty()) {
      const fs::path usb = root_ / "sys/devices/usb" / name;
      fs::create_directories(usb / "if0");
      Write(usb / "idVendor", "0403");
      Write(usb / "idProduct", pid);
      Write(usb / "product", product);
      Write(usb / "serial", serial);
      device = usb / "if0";
    } else {
      fs::create_directories(device);
      Write(tty / "type", "4");
    }
    fs::create_directory_symlink(device, tty / "device");
    fs::create_symlink(pty.slavePath, root_ / "dev" / name);
  }

  PortSources sources;

 private:
  static void Write(const fs::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; }
  fs::path root_;
};

std::vector<CommPortEntry> List(const FakeSystem& system, bool force = false, int capacity = kPortTableCapacity) {
  SerialPort record;
  std::vector<CommPortEntry> table;
  int count = capacity;
  EXPECT_GE(CommPortEnum(record, &table, &count, force, system.sources), 0);
  EXPECT_EQ(static_cast<size_t>(count), table.size());
  return table;
}

TEST(CommPortEnum, SortsLabelsAndMarksBusyPorts) {
  PtyPair usb12, usb3, cable, radio, native;
  FakeSystem system;
  system.AddPort("ttyUSB12", usb12, "USB Serial Port");
  system.AddPort("ttyUSB3", usb3, "USB Serial Port");
  system.AddPort("ttyUSB5", cable, "Tessaly USB Cable", "TESSALY_UXA[17]", "8414");
  system.AddPort("ttyUSB7", radio, "Digi PKG-U");
  system.AddPort("ttyS0", native);
  SerialPort holder;
  ASSERT_EQ(VSOpen(holder, usb3.slavePath, 9600), 1);

  const std::vector<CommPortEntry> table = List(system);
  ASSERT_EQ(table.size(), 5u);
  EXPECT_EQ(table[0].name, "ttyS0");
  EXPECT_EQ(table[0].description, "ttyS0 Communications Port");
  EXPECT_EQ(table[1].name, "ttyUSB3");
  EXPECT_EQ(table[1].description, "ttyUSB3 USB Serial Port (busy)");
  EXPECT_TRUE(table[1].busy);
  EXPECT_EQ(table[2].description, "ttyUSB5 VANTO USB Adapter [17]");
  EXPECT_FALSE(table[2].notCableAdapter);
  EXPECT_EQ(table[3].description, "ttyUSB7 Tessaly USB Rq4");
  EXPECT_FALSE(table[3].notRadio);
  EXPECT_EQ(table[4].name, "ttyUSB12");
}

TEST(CommPortEnum, CapacityAndArguments) {
  PtyPair a, b, c;
  FakeSystem system;
  system.AddPort("ttyUSB0", a, "A");
  system.AddPort("ttyUSB1", b, "B");
  system.AddPort("ttyUSB2", c, "C");
  EXPECT_EQ(List(system, false, 2).size(), 2u);
  SerialPort record;
  int zero = 0;
  std::vector<CommPortEntry> table;
  EXPECT_EQ(CommPortEnum(record, &table, &zero, false, system.sources), kEnumNoCapacity);
  EXPECT_EQ(CommPortEnum(record, nullptr, &zero, false, system.sources), kEnumNoTable);
}

TEST(CommPortEnum, ExtraPortsAreListedLast) {
  PtyPair usb, extra;
  FakeSystem system;
  system.AddPort("ttyUSB0", usb, "USB Serial Port");
  system.sources.extraPorts = {extra.slavePath};
  const std::vector<CommPortEntry> table = List(system);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[1].name, extra.slavePath);
  EXPECT_EQ(table[1].description, extra.slavePath + " Communications Port");
}

TEST(DescribePort, FriendlyNamesAreCutBeforeThePortInParentheses) {
  FoundPort port{"ttyUSB7", 107, "USB Serial Port (COM7)", ""};
  EXPECT_EQ(DescribePort(port), "ttyUSB7 USB Serial Port");
  port.friendlyName = "Tessaly UXA (COM7)";
  port.instanceId = "USB\\VID_0403&PID_8414\\TESSALY_UXA01";
  EXPECT_EQ(DescribePort(port), "ttyUSB7 VANTO USB Adapter");
  port.instanceId = "USB\\VID_0403&PID_6001\\TESSALY_UXA01";  // not the cable's product ID
  EXPECT_EQ(DescribePort(port), "ttyUSB7 Tessaly UXA");
}

}  // namespace
