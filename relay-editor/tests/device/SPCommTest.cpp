#include <grp.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "TestSupport.h"
#include "device/CommThreads.h"
#include "device/SPComm.h"

namespace relay::device {
namespace {

using namespace std::chrono_literals;
using relay::testing::Bytes;
using relay::testing::DrainFor;
using relay::testing::DrainUntil;
using relay::testing::TPtyPair;

// A component on a fresh pseudo-terminal, binary-safe (no XON/XOFF), recording its events.
class SPCommTest : public ::testing::Test {
 protected:
  SPCommTest() : comm(queue) {
    comm.SetCommName(pty.SlavePath());
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.OnReceiveData = [this](TComm& sender, const std::uint8_t* data, std::uint16_t n) {
      EXPECT_EQ(&sender, &comm);
      chunks.emplace_back(data, data + n);
      events.push_back('r');
    };
    comm.OnSendDataEmpty = [this](TComm&) { events.push_back('e'); };
    comm.OnRequestHangup = [this](TComm&) { events.push_back('h'); };
  }

  std::vector<std::uint8_t> Received() const {
    std::vector<std::uint8_t> all;
    for (const auto& c : chunks) all.insert(all.end(), c.begin(), c.end());
    return all;
  }

  TPtyPair pty;
  TCallQueue queue;
  TComm comm;
  std::vector<std::vector<std::uint8_t>> chunks;
  std::string events;
};

TEST(SPCommPortNames, NamesMapToDevicePaths) {
  const std::pair<const char*, const char*> cases[] = {
      {"COM1", "/dev/ttyS0"},      {"COM2", "/dev/ttyS1"},       {"com10", "/dev/ttyS9"},
      {"ttyUSB0", "/dev/ttyUSB0"}, {"/dev/pts/7", "/dev/pts/7"}, {"./port", "./port"},
      {"COM", "/dev/COM"},         {"COM0", "/dev/COM0"},        {"COMX", "/dev/COMX"},
  };
  for (const auto& [name, path] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ResolvePortPath(name), path);
  }
}

TEST_F(SPCommTest, OpenFailuresRaiseTheirMessages) {
  TComm missing(queue);
  missing.SetCommName("/dev/no-such-serial-port");
  try {
    missing.OpenPort();
    FAIL() << "opened a missing port";
  } catch (const ECommsError& e) {
    EXPECT_STREQ(e.what(),
                 "Error opening serial port\n/dev/no-such-serial-port: No such file or directory");
  }
  EXPECT_FALSE(missing.IsOpen());

  const auto file = std::filesystem::temp_directory_path() / "spcomm-not-a-terminal";
  std::ofstream(file) << "x";
  TComm notTerminal(queue);
  notTerminal.SetCommName(file.string());
  try {
    notTerminal.OpenPort();
    FAIL() << "opened a plain file";
  } catch (const ECommsError& e) {
    EXPECT_EQ(e.what(), "Cannot setup comm buffer\n" + file.string() + ": not a serial port");
  }
  EXPECT_FALSE(notTerminal.IsOpen());
  std::filesystem::remove(file);

  comm.OpenPort();
  try {
    comm.OpenPort();
    FAIL() << "opened twice";
  } catch (const ECommsError& e) {
    EXPECT_STREQ(e.what(), "This serial port already opened");
  }
  EXPECT_TRUE(comm.IsOpen());

  // Another holder of the same port is refused, even with root rights.
  TComm second(queue);
  second.SetCommName(pty.SlavePath());
  try {
    second.OpenPort();
    FAIL() << "opened a port held by another component";
  } catch (const ECommsError& e) {
    EXPECT_EQ(e.what(),
              "Error opening serial port\n" + pty.SlavePath() + ": in use by another program");
  }
  comm.ClosePort();
  EXPECT_NO_THROW(second.OpenPort());
  second.ClosePort();
}

// A device the user may not open: the error says what to do about it. Root may open
// anything, so the test drops to an unprivileged user first when it runs as root.
TEST(SPCommPermissions, APortTheUserMayNotOpenSaysWhichGroupToJoin) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TPtyPair pty;
  const std::string path = pty.SlavePath();
  struct stat device {};
  ASSERT_EQ(stat(path.c_str(), &device), 0);
  const group* owner = getgrgid(device.st_gid);
  const std::string expected =
      "Error opening serial port\n" + path + ": permission denied: add the user to the " +
      (owner && device.st_gid != 0 ? owner->gr_name : "dialout") + " group";
  EXPECT_EXIT(
      {
        if (geteuid() == 0) {
          if (setgid(65534) != 0 || setuid(65534) != 0) std::_Exit(2);
        } else if (chmod(path.c_str(), 0) != 0) {
          std::_Exit(3);
        }
        TCallQueue queue;
        TComm comm(queue);
        comm.SetCommName(path);
        try {
          comm.OpenPort();
        } catch (const ECommsError& e) {
          std::fprintf(stderr, "%s", e.what());
          std::_Exit(e.what() == expected ? 0 : 4);
        }
        std::_Exit(5);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(SPCommTest, ClosedPortRefusesWritesAndClosesQuietly) {
  const std::uint8_t byte = 0x24;
  EXPECT_FALSE(comm.WriteData(&byte, 1));
  EXPECT_NO_THROW(comm.ClosePort());
  comm.OpenPort();
  EXPECT_FALSE(comm.WriteData(&byte, 0));
  EXPECT_TRUE(comm.SendDataEmpty());
  comm.ClosePort();
  EXPECT_NO_THROW(comm.ClosePort());
  EXPECT_FALSE(comm.WriteData(&byte, 1));
}

TEST_F(SPCommTest, QuickWritesGoOutWholeAndInOrder) {
  comm.OpenPort();
  std::vector<std::uint8_t> expected;
  for (int i = 0; i < 10; ++i) {
    std::vector<std::uint8_t> block(100 + i * 37);
    std::iota(block.begin(), block.end(), static_cast<std::uint8_t>(i * 11));
    ASSERT_TRUE(comm.WriteData(block.data(), block.size()));
    expected.insert(expected.end(), block.begin(), block.end());
  }
  EXPECT_EQ(pty.Read(expected.size()), expected);
  ASSERT_TRUE(DrainUntil(
      queue, [&] { return comm.SendDataEmpty() && events.find('e') != std::string::npos; }));
}

TEST_F(SPCommTest, ChunksEndAtAGapOfTheIntervalTime) {
  comm.OpenPort();
  pty.Write(Bytes({0x24, 0xFF, 0x06}));
  std::this_thread::sleep_for(250ms);
  pty.Write(Bytes({0xFF, 0x05, 0x00, 0x00, 0x00, 0x2D}));
  ASSERT_TRUE(DrainUntil(queue, [&] { return Received().size() == 9; }));
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0], Bytes({0x24, 0xFF, 0x06}));

  // Bytes 20 ms apart stay one chunk.
  chunks.clear();
  for (int i = 0; i < 5; ++i) {
    pty.Write(Bytes({i}));
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(DrainUntil(queue, [&] { return Received().size() == 5; }));
  DrainFor(queue, 150ms);
  EXPECT_EQ(chunks.size(), 1u);
}

TEST_F(SPCommTest, ABurstIsCutAt2048Bytes) {
  comm.OpenPort();
  std::vector<std::uint8_t> burst(3000);
  for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<std::uint8_t>(i * 7);
  pty.Write(burst);
  ASSERT_TRUE(DrainUntil(queue, [&] { return Received().size() == burst.size(); }));
  EXPECT_GE(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].size(), 2048u);
  for (const auto& c : chunks) EXPECT_LE(c.size(), 2048u);
  EXPECT_EQ(Received(), burst);
}

TEST_F(SPCommTest, ImmediateIntervalDeliversWhatHasArrived) {
  // A long gap before the change, so that waiting for any gap would show.
  comm.SetReadIntervalTimeout(3000);
  comm.OpenPort();
  comm.SetReadIntervalTimeout(kReadIntervalImmediate);  // applied while open
  const auto start = std::chrono::steady_clock::now();
  pty.Write(Bytes({1, 2, 3}));
  ASSERT_TRUE(DrainUntil(queue, [&] { return Received().size() == 3; }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
}

TEST_F(SPCommTest, BytesReadJustBeforeTheIntervalTurnsImmediateAreDelivered) {
  comm.OpenPort();
  std::this_thread::sleep_for(150ms);  // the reader now waits with the old time-outs
  comm.SetReadIntervalTimeout(kReadIntervalImmediate);
  pty.Write(Bytes({4, 5, 6}));
  ASSERT_TRUE(DrainUntil(
      queue, [&] { return Received().size() == 3; }, 4000ms));
  EXPECT_EQ(Received(), Bytes({4, 5, 6}));
}

TEST_F(SPCommTest, TotalTimeoutEndsAChunkWhileBytesKeepComing) {
  comm.SetReadTotalTimeoutConstant(150);
  comm.OpenPort();
  for (int i = 0; i < 20; ++i) {  // a byte every 20 ms for 400 ms
    pty.Write(Bytes({i}));
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(DrainUntil(queue, [&] { return Received().size() == 20; }));
  EXPECT_GE(chunks.size(), 2u);
}

TEST_F(SPCommTest, NulBytesCanBeDiscarded) {
  comm.SetIgnoreNullChar(true);
  comm.OpenPort();
  pty.Write(Bytes({0x00, 0x24, 0x00, 0x00, 0x25, 0x00}));
  ASSERT_TRUE(DrainUntil(queue, [&] { return Received().size() == 2; }));
  DrainFor(queue, 150ms);
  EXPECT_EQ(Received(), Bytes({0x24, 0x25}));
}

TEST_F(SPCommTest, LineSettingsReachTheTerminal) {
  comm.SetBaudRate(19200);
  comm.SetParity(TParity::Even);
  comm.SetByteSize(TByteSize::_7);
  comm.SetStopBits(TStopBits::_2);
  comm.OpenPort();
  termios t{};
  ASSERT_EQ(tcgetattr(pty.Slave(), &t), 0);
  // A pseudo-terminal keeps 8 data bits without parity whatever is asked.
  EXPECT_EQ(cfgetospeed(&t), B19200);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));  // binary mode
  EXPECT_FALSE(t.c_iflag & IXON);

  // A change while open is applied at once.
  comm.SetBaudRate(115200);
  comm.SetParity(TParity::None);
  ASSERT_EQ(tcgetattr(pty.Slave(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B115200);

  // Rates without a constant of their own work too.
  EXPECT_NO_THROW(comm.SetBaudRate(14400));
  EXPECT_THROW(comm.SetBaudRate(0), ECommsError);
}

TEST_F(SPCommTest, StartValuesAreThoseOfTheComponent) {
  EXPECT_EQ(comm.CommName(), pty.SlavePath());
  TComm fresh(queue);
  EXPECT_EQ(fresh.CommName(), "COM2");
  const TCommLineSettings& s = fresh.LineSettings();
  EXPECT_EQ(s.BaudRate, 9600u);
  EXPECT_TRUE(s.Outx_XonXoffFlow);
  EXPECT_TRUE(s.Inx_XonXoffFlow);
  EXPECT_TRUE(s.TxContinueOnXoff);
  EXPECT_EQ(s.XonLimit, 500);
  EXPECT_EQ(s.XonChar, 0x11);
  EXPECT_EQ(s.XoffChar, 0x13);
  EXPECT_EQ(fresh.Timeouts().ReadIntervalTimeout, 100u);
  EXPECT_TRUE(fresh.SendDataEmpty());
}

TEST_F(SPCommTest, ALostLineRequestsHangupAndClosingStaysQuick) {
  comm.OpenPort();
  pty.CloseMaster();
  ASSERT_TRUE(DrainUntil(queue, [&] { return events.find('h') != std::string::npos; }));
  const auto start = std::chrono::steady_clock::now();
  comm.ClosePort();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(SPCommTest, ClosingStopsBothThreadsAndTheComponentCanOpenAgain) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    comm.OpenPort();
    const std::uint8_t frame[] = {0x24, 0xFF, 0x06, 0xFE, 0x01, 0x00, 0x00, 0x00, 0x28};
    ASSERT_TRUE(comm.WriteData(frame, sizeof frame));
    EXPECT_EQ(pty.Read(sizeof frame).size(), sizeof frame);
    const auto start = std::chrono::steady_clock::now();
    comm.ClosePort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_TRUE(comm.SendDataEmpty());
  }
}

TEST_F(SPCommTest, EventsAfterTheComponentIsGoneAreDropped) {
  auto doomed = std::make_unique<TComm>(queue);
  doomed->SetCommName(pty.SlavePath());
  int raised = 0;
  doomed->OnReceiveData = [&](TComm&, const std::uint8_t*, std::uint16_t) { ++raised; };
  doomed->SetReadIntervalTimeout(kReadIntervalImmediate);
  doomed->OpenPort();
  pty.Write(Bytes({1, 2, 3}));
  std::this_thread::sleep_for(100ms);  // the chunk waits in the queue
  doomed.reset();                      // closes the port
  DrainFor(queue, 100ms);
  EXPECT_EQ(raised, 0);
}

TEST(ParityMarkDecoderTest, MarkedBytesAreDecodedAcrossReads) {
  struct TCase {
    const char* name;
    std::vector<std::vector<std::uint8_t>> reads;
    bool replace;
    std::vector<std::uint8_t> expected;
    bool error;
  };
  const TCase cases[] = {
      {"plain bytes", {Bytes({0x24, 0x01})}, false, Bytes({0x24, 0x01}), false},
      {"escaped FF", {Bytes({0xFF, 0xFF, 0x02})}, false, Bytes({0xFF, 0x02}), false},
      {"error byte kept", {Bytes({0x01, 0xFF, 0x00, 0x41})}, false, Bytes({0x01, 0x41}), true},
      {"error byte replaced", {Bytes({0xFF, 0x00, 0x41})}, true, Bytes({0x3F}), true},
      {"sequence split over reads",
       {Bytes({0x05, 0xFF}), Bytes({0x00}), Bytes({0x41, 0x06})},
       false,
       Bytes({0x05, 0x41, 0x06}),
       true},
      {"escaped FF split over reads", {Bytes({0xFF}), Bytes({0xFF})}, false, Bytes({0xFF}), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TParityMarkDecoder decoder;
    std::vector<std::uint8_t> out;
    bool error = false;
    for (const auto& r : c.reads)
      error = decoder.Decode(r.data(), r.size(), c.replace, 0x3F, out) || error;
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace relay::device
