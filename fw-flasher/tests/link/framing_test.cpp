#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <thread>

#include "isp/link/isp_link.h"
#include "isp/link/termios_port.h"
#include "tests/support/scripted_port.h"
#include "tests/support/string_log.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;

class FramingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    link.port = &port;
    link.outputs.echo = nullptr;
    link.outputs.log_sink = &log;
  }
  // Calls ReceivePacket until it reports a frame or the port has nothing left.
  bool ReceiveAll(bool verify, int max_calls = 200) {
    for (int i = 0; i < max_calls; ++i) {
      if (link.ReceivePacket(link.framing.receive_buffer, verify)) return true;
    }
    return false;
  }
  Bytes Payload() const {
    return Bytes(link.framing.receive_buffer,
                 link.framing.receive_buffer + link.framing.received_length);
  }

  test::ScriptedPort port;
  test::StringLog log;
  IspLink link;
};

struct SendCase {
  const char* name;
  Bytes payload;
  std::uint8_t board_mode;
  int protocol_variant;
  Bytes expected;
};

TEST_F(FramingTest, SendPacketFramesPayloadWithEitherChecksumWidth) {
  const SendCase cases[] = {
      {"board baud request, 16-bit",
       {0xFF, 0x02, 0x0C, 0x01},
       1,
       0,
       {0x46, 0xB9, 0x6A, 0x00, 0x0A, 0xFF, 0x02, 0x0C, 0x01, 0x01, 0x82, 0x16}},
      {"one byte, 8-bit", {0x80}, 0, 0, {0x46, 0xB9, 0x6A, 0x00, 0x06, 0x80, 0xF0, 0x16}},
      {"one byte, variant 3 uses 16-bit",
       {0x80},
       0,
       3,
       {0x46, 0xB9, 0x6A, 0x00, 0x07, 0x80, 0x00, 0xF1, 0x16}},
      {"empty payload", {}, 0, 0, {0x46, 0xB9, 0x6A, 0x00, 0x05, 0x6F, 0x16}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    port.writes.clear();
    link.board.mode = c.board_mode;
    link.target.protocol_variant = c.protocol_variant;
    link.SendPacket(c.payload.data(), static_cast<int>(c.payload.size()));
    ASSERT_EQ(port.writes.size(), 1u) << "one write per packet";
    EXPECT_EQ(port.writes[0], c.expected);
  }
}

TEST_F(FramingTest, SixteenBitChecksumCarriesTheHighByte) {
  // 200 bytes of 0xFF: the sum passes 0xFFFF's low byte range and needs both bytes.
  Bytes payload(200, 0xFF);
  link.target.protocol_variant = 1;
  link.SendPacket(payload.data(), 200);
  const Bytes& p = port.writes.at(0);
  ASSERT_EQ(p.size(), 208u);
  const std::uint32_t sum = 0x6A + 0x00 + 206 + 200 * 0xFF;
  EXPECT_EQ(p[4], 206);
  EXPECT_EQ(p[205], static_cast<std::uint8_t>(sum >> 8));
  EXPECT_EQ(p[206], static_cast<std::uint8_t>(sum));
  EXPECT_EQ(p[207], 0x16);
}

// A chip frame built independently of SendPacket.
Bytes ChipFrame(const Bytes& payload, bool wide, bool with_prefix = true) {
  Bytes f;
  if (with_prefix) f = {0x46, 0xB9};
  const std::uint8_t length = static_cast<std::uint8_t>(payload.size() + (wide ? 6 : 5));
  f.insert(f.end(), {0x68, 0x00, length});
  f.insert(f.end(), payload.begin(), payload.end());
  std::uint32_t sum = 0x68 + length;
  for (auto b : payload) sum += b;
  if (wide) f.push_back(static_cast<std::uint8_t>(sum >> 8));
  f.push_back(static_cast<std::uint8_t>(sum));
  f.push_back(0x16);
  return f;
}

struct ReceiveCase {
  const char* name;
  std::vector<Bytes> chunks;  // in arrival order
  int protocol_variant;
  bool verify;
  bool complete;
  Bytes payload;  // expected payload bytes (start of the receive buffer)
};

TEST_F(FramingTest, ReceivePacketCases) {
  const Bytes p = {0x00, 0x11, 0x22, 0x33};
  Bytes bad = ChipFrame(p, false);
  bad[bad.size() - 2] ^= 0x01;
  Bytes bad_end = ChipFrame(p, true);
  bad_end.back() = 0x17;
  Bytes restarted = {0x46};
  for (auto b : ChipFrame(p, false)) restarted.push_back(b);
  Bytes noisy = {0x7F, 0x00, 0xB9, 0x12, 0x46, 0x00};
  for (auto b : ChipFrame(p, false)) noisy.push_back(b);
  const Bytes full8 = ChipFrame(p, false);
  std::vector<Bytes> split;
  for (auto b : full8) split.push_back({b});

  const ReceiveCase cases[] = {
      {"8-bit frame", {ChipFrame(p, false)}, 0, true, true, p},
      {"16-bit frame", {ChipFrame(p, true)}, 2, true, true, p},
      {"without 46 B9", {ChipFrame(p, false, false)}, 0, true, true, p},
      {"46 46 B9 restarts the header", {restarted}, 0, true, true, p},
      {"noise before the frame", {noisy}, 0, true, true, p},
      {"split byte by byte", split, 0, true, true, p},
      {"split in the middle of the payload",
       {Bytes(full8.begin(), full8.begin() + 7), Bytes(full8.begin() + 7, full8.end())},
       0,
       true,
       true,
       p},
      {"wrong checksum dropped", {bad}, 0, true, false, {}},
      {"wrong end byte dropped", {bad_end}, 1, true, false, {}},
      {"wrong checksum kept with verify off", {bad}, 0, false, true, p},
      {"8-bit frame fails the 16-bit check", {ChipFrame(p, false)}, 3, true, false, {}},
      {"bad frame then good frame", {bad, ChipFrame(p, false)}, 0, true, true, p},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    port = test::ScriptedPort();
    for (const auto& chunk : c.chunks) port.Arrive(chunk);
    link.target.protocol_variant = c.protocol_variant;
    link.ReceivePacket(nullptr, false);
    ASSERT_EQ(ReceiveAll(c.verify), c.complete);
    if (c.complete) {
      EXPECT_EQ(Bytes(link.framing.receive_buffer, link.framing.receive_buffer + c.payload.size()),
                c.payload);
      EXPECT_EQ(link.framing.received_length,
                static_cast<int>(c.payload.size()) + (c.protocol_variant ? 3 : 2));
    }
  }
}

TEST_F(FramingTest, FrameSpreadOverCallsResumesWhereItStopped) {
  const Bytes p = {0x50, 0x01, 0x02};
  const Bytes frame = ChipFrame(p, false);
  link.ReceivePacket(nullptr, false);
  for (std::size_t i = 0; i < frame.size(); ++i) {
    port.Arrive({frame[i]});
    const bool last = i + 1 == frame.size();
    // Each call consumes what there is and returns false until the end byte.
    EXPECT_EQ(link.ReceivePacket(link.framing.receive_buffer, true), last) << "byte " << i;
    if (!last) {
      EXPECT_FALSE(link.ReceivePacket(link.framing.receive_buffer, true)) << "nothing new at " << i;
    }
  }
  EXPECT_EQ(link.framing.receive_buffer[0], 0x50);
}

TEST_F(FramingTest, LengthBelowShortestFrameIsNoise) {
  const Bytes p = {0x00, 0x42};
  // Length bytes 0..4 cannot be frames; hunting goes on and the real frame is found.
  for (std::uint8_t length : {0, 1, 2, 3, 4}) {
    SCOPED_TRACE(static_cast<int>(length));
    port = test::ScriptedPort();
    Bytes stream = {0x46, 0xB9, 0x68, 0x00, length, 0x16, 0x16};
    for (auto b : ChipFrame(p, false)) stream.push_back(b);
    port.Arrive(stream);
    link.target.protocol_variant = 0;
    link.ReceivePacket(nullptr, false);
    ASSERT_TRUE(ReceiveAll(true));
    EXPECT_EQ(link.framing.receive_buffer[1], 0x42);
    EXPECT_GE(link.framing.received_length, 2);
  }
  // With the 16-bit checksum 5 is short as well.
  port = test::ScriptedPort();
  Bytes stream = {0x68, 0x00, 0x05};
  for (auto b : ChipFrame(p, true)) stream.push_back(b);
  port.Arrive(stream);
  link.target.protocol_variant = 1;
  link.ReceivePacket(nullptr, false);
  ASSERT_TRUE(ReceiveAll(true));
  EXPECT_EQ(link.framing.receive_buffer[1], 0x42);
}

TEST_F(FramingTest, StrayBytesAndFrameStartFlags) {
  link.ReceivePacket(nullptr, false);
  port.Arrive({0x46});
  EXPECT_FALSE(link.ReceivePacket(link.framing.receive_buffer, false));
  EXPECT_EQ(link.framing.frame_started, 1);
  port.Arrive({0x33});
  link.ReceivePacket(link.framing.receive_buffer, false);
  EXPECT_EQ(link.framing.frame_started, 0) << "a non-start byte switches the sync bursts back on";

  link.request.paced_sync = 1;
  port.Arrive({0x68, 0x33});
  link.ReceivePacket(link.framing.receive_buffer, false);
  EXPECT_EQ(link.framing.frame_started, 1) << "paced synchronisation keeps the bursts off";

  link.request.paced_sync = 0;
  link.board.mode = 1;
  link.board.acknowledge = 0;
  port.Arrive({0x02});
  link.ReceivePacket(link.framing.receive_buffer, false);
  EXPECT_EQ(link.board.acknowledge, 1);
  link.board.mode = 0;
  link.board.acknowledge = 0;
  port.Arrive({0x02});
  link.ReceivePacket(link.framing.receive_buffer, false);
  EXPECT_EQ(link.board.acknowledge, 0);
}

TEST_F(FramingTest, NullBufferResetsTheReceiver) {
  port.Arrive({0x46, 0xB9, 0x68});
  link.ReceivePacket(link.framing.receive_buffer, true);
  EXPECT_EQ(link.framing.rx_state, 3);
  EXPECT_FALSE(link.ReceivePacket(nullptr, true));
  EXPECT_EQ(link.framing.rx_state, 0);
  EXPECT_EQ(link.framing.rx_count, 0);
  EXPECT_EQ(link.framing.rx_expected, 5);
  EXPECT_EQ(link.framing.frame_started, 0);
}

TEST_F(FramingTest, ExchangeFollowsTheWaitForReplyPattern) {
  link.running = true;
  const std::uint8_t command[] = {0x05};
  port.Arrive(ChipFrame({0x05, 0x00}, false));
  EXPECT_EQ(link.Exchange(command, 1, 500, 0x05), kStepOk);
  EXPECT_EQ(port.writes.at(0), (Bytes{0x46, 0xB9, 0x6A, 0x00, 0x06, 0x05, 0x75, 0x16}));
  port.Arrive(ChipFrame({0x0E}, false));
  EXPECT_EQ(link.Exchange(command, 1, 500, 0x05), kStepRefused);
  // A frame that does not verify is no reply.
  Bytes bad = ChipFrame({0x05}, false);
  bad[bad.size() - 2] ^= 0xFF;
  port.Arrive(bad);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(link.Exchange(command, 1, 100, 0x05), kStepTimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(95));
  link.running = false;
  EXPECT_EQ(link.WaitForReply(-1), kStepStopped);
}

TEST(ByteSumTest, SumsARangeAndRefusesNothing) {
  const std::uint8_t b[] = {1, 2, 3, 0xFF, 0xFF};
  EXPECT_EQ(ByteSum(b, 3, 0), 6u);
  EXPECT_EQ(ByteSum(b, 2, 3), 0x1FEu);
  EXPECT_EQ(ByteSum(nullptr, 3, 0), 0u);
  EXPECT_EQ(ByteSum(b, 0, 0), 0u);
  EXPECT_EQ(ByteSum(b, -1, 0), 0u);
}

TEST(TimeoutTest, ZeroAndNegativeLengthsNeverExpire) {
  IspLink link;
  for (int length : {0, -1}) {
    link.StartTimeout(length);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(link.TimedOut()) << length;
  }
  link.StartTimeout(20);
  EXPECT_FALSE(link.TimedOut());
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  EXPECT_TRUE(link.TimedOut());
  // Unsigned tick arithmetic across the wrap.
  link.framing.timeout_start = TickCount() - 30;
  link.framing.timeout_length = 20;
  EXPECT_TRUE(link.TimedOut());
}

}  // namespace
}  // namespace fw
