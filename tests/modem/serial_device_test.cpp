#include "platform/serial_device.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "modem/com_port.h"
#include "tests/modem/pty_pair.h"

namespace {

class ComDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/comdir-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::setenv(platform::kComDirVariable, dir_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv(platform::kComDirVariable);
    std::filesystem::remove_all(dir_);
  }
  std::filesystem::path dir_;
};

TEST_F(ComDirTest, NamesResolve) {
  std::filesystem::create_symlink("/dev/null", dir_ / "COM3");
  std::filesystem::create_symlink("/nowhere", dir_ / "COM12");
  struct Case {
    std::string name;
    std::string path;
  };
  const Case cases[] = {
      {"COM3", (dir_ / "COM3").string()},
      {"COM12", (dir_ / "COM12").string()},
      {"COM4", "/dev/ttyS3"},
      {"COM1", "/dev/ttyS0"},
      {"COM16", "/dev/ttyS15"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"COM0", "COM0"},
      {"COM", "COM"},
      {"COM2x", "COM2x"},
      {"com3", "com3"},
      {"COM255", "/dev/ttyS254"},
      {"COM256", "COM256"},
      {"COM-1", "COM-1"},
      {"COM+1", "COM+1"},
      {"COM01", "COM01"},
      {"COM99999999999", "COM99999999999"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(platform::ResolvePortName(c.name), c.path);
  }
  ::unsetenv(platform::kComDirVariable);
  EXPECT_EQ(platform::ResolvePortName("COM3"), "/dev/ttyS2");
}

TEST_F(ComDirTest, OpenPortFollowsTheComLink) {
  modemtest::PtyPair pty;
  std::filesystem::create_symlink(pty.SlavePath(), dir_ / "COM7");
  modem::PortHandle port;
  ASSERT_TRUE(modem::OpenPort(port, "COM7", 9600, 100, false, false));
  EXPECT_TRUE(modem::SendLine(port, "ATZ"));
  EXPECT_EQ(pty.Drain(), "ATZ\r\n");
  EXPECT_TRUE(modem::ClosePort(port));
}

// A COM link may point anywhere: only a terminal behind it is opened.
TEST_F(ComDirTest, ALinkToARegularFileIsRefusedUntouched) {
  const auto file = dir_ / "plain.txt";
  { std::ofstream(file) << "data"; }
  std::filesystem::create_symlink(file, dir_ / "COM5");
  modem::PortHandle port;
  platform::SystemError error;
  EXPECT_FALSE(modem::OpenPort(port, "COM5", 9600, 100, false, false, &error));
  EXPECT_EQ(error.reason, platform::ErrorReason::wrongType);
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "data");
}

TEST(SerialDeviceListTest, ListsOnlyExistingDevices) {
  for (const auto& device : platform::ListSerialDevices()) {
    SCOPED_TRACE(device);
    EXPECT_TRUE(std::filesystem::exists(device));
  }
}

}  // namespace
