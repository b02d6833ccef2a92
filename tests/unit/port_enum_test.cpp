#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

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
    fs::create_directories(root_ / "lock");
    sources.sysfsRoot = (root_ / "sys").string();
    sources.devRoot = (root_ / "dev").string();
    sources.lockDirs = {(root_ / "lock").string()};
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

  // A lock file in the UUCP style: the holder's process ID in ten columns.
  void AddLockFile(const std::string& name, long pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10ld", pid);
    Write(root_ / "lock" / ("LCK.." + name), text);
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

// Another program: a process of its own that keeps every descriptor it was born with
// (no lock on any of them) until it is let go.
class HoldingChild {
 public:
  HoldingChild() {
    if (::pipe(release_) != 0) throw std::runtime_error("no pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(release_[1]);
      char byte;
      (void)::read(release_[0], &byte, 1);
      ::_exit(0);
    }
    ::close(release_[0]);
  }
  HoldingChild(const HoldingChild&) = delete;
  HoldingChild& operator=(const HoldingChild&) = delete;
  ~HoldingChild() {
    ::close(release_[1]);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }

 private:
  int release_[2] = {-1, -1};
  pid_t pid_ = -1;
};

// Listing finds ports that others hold without touching them: the holder's settings and
// the bytes waiting for it are the same after the listing, and a free port stays free.
TEST(CommPortEnum, HeldPortsAreListedBusyAndLeftAsTheyWere) {
  PtyPair byChild, bySecondOpen, idle;
  FakeSystem system;
  system.AddPort("ttyUSB0", byChild, "USB Serial Port");
  system.AddPort("ttyUSB1", bySecondOpen, "USB Serial Port");
  system.AddPort("ttyUSB2", idle, "USB Serial Port");

  const int held = ::open(byChild.slavePath.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  struct termios tio {};
  ASSERT_EQ(tcgetattr(held, &tio), 0);
  cfsetispeed(&tio, B19200);
  cfsetospeed(&tio, B19200);
  tio.c_lflag |= ICANON;
  ASSERT_EQ(tcsetattr(held, TCSANOW, &tio), 0);
  byChild.Send("waiting\n");
  const HoldingChild child;
  ::close(held);  // only the child holds it now
  const int second = ::open(bySecondOpen.slavePath.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(second, 0);

  const std::vector<CommPortEntry> table = List(system);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_TRUE(table[0].busy);
  EXPECT_EQ(table[0].description, "ttyUSB0 USB Serial Port (busy)");
  EXPECT_TRUE(table[1].busy);
  EXPECT_FALSE(table[2].busy);
  EXPECT_EQ(table[2].description, "ttyUSB2 USB Serial Port");

  // A second look at the child's port, while the child still holds it.
  const int look = ::open(byChild.slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(look, 0);
  struct termios after {};
  ASSERT_EQ(tcgetattr(look, &after), 0);
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B19200));
  EXPECT_NE(after.c_lflag & ICANON, 0u);
  char got[32] = {};
  EXPECT_EQ(::read(look, got, sizeof got), 8);
  EXPECT_EQ(std::string(got), "waiting\n");
  ::close(look);
  ::close(second);
}

// A UUCP lock file marks its port busy while the process that wrote it lives.
TEST(CommPortEnum, LockFilesOfLiveProcessesMarkPortsBusy) {
  PtyPair locked, stale;
  FakeSystem system;
  system.AddPort("ttyUSB0", locked, "USB Serial Port");
  system.AddPort("ttyUSB1", stale, "USB Serial Port");
  system.AddLockFile("ttyUSB0", static_cast<long>(::getpid()));
  system.AddLockFile("ttyUSB1", 99999999L);  // above any process number
  const std::vector<CommPortEntry> table = List(system);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_TRUE(table[0].busy);
  EXPECT_FALSE(table[1].busy);
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
