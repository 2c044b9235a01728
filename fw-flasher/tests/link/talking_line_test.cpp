// A line that never falls silent: the receiver hands control back to the wait
// loop while bytes keep coming, so a stop and a time-out still end the wait,
// and a frame that arrives meanwhile is still received whole.
#include <gtest/gtest.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "isp/link/isp_link.h"
#include "isp/link/termios_port.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/scripted_port.h"
#include "tests/support/talking_peer.h"

namespace fw {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

TEST(TalkingLineTest, TimeOutAndStopEndTheWaitWhileTheLineTalks) {
  struct Case {
    const char* name;
    int timeout_ms;                  // the wait's own time-out
    std::chrono::milliseconds stop;  // when the user stops; 0: never
    StepResult expected;
    std::chrono::milliseconds bound;  // the wait ends before this
  } const cases[] = {
      {"time-out", 400, 0ms, kStepTimedOut, 400ms + 1s},
      {"stop", IspLink::kNoTimeout, 400ms, kStepStopped, 400ms + 500ms},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    TermiosPort port;
    ASSERT_TRUE(port.Open(pty.slave_path())) << port.error();
    IspLink link;
    link.outputs.echo = nullptr;
    link.port = &port;
    link.ConfigureDirectPort();
    link.running = true;
    // Far longer than any bound: a wait that only a silent line ends shows
    // as one that lasts until the peer has finished.
    const test::TalkingPeer peer(pty.master(), 5s);
    std::jthread stopper;
    if (c.stop > 0ms) {
      stopper = std::jthread([&link, &c] {
        std::this_thread::sleep_for(c.stop);
        link.stop_requested = true;
      });
    }
    const double cpu_before = ThreadCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const StepResult result = link.WaitForReply(c.timeout_ms);
    const auto took = std::chrono::steady_clock::now() - start;
    const double cpu = ThreadCpuSeconds() - cpu_before;

    EXPECT_EQ(result, c.expected);
    EXPECT_LT(Seconds(took), Seconds(c.bound));
    EXPECT_GT(peer.BytesSent(), 1000) << "the line talked all the while";
    // The wait sleeps in the port between the peer's bytes; a loop that spins
    // would spend the whole wait on the processor.
    EXPECT_LT(cpu, 0.5 * Seconds(took) + 0.05) << cpu << " CPU seconds in " << Seconds(took);
  }
}

// Hands out one byte a read, each a millisecond after the one before.
class SlowPort : public test::ScriptedPort {
 public:
  int Read(std::uint8_t* buffer, int n) override {
    std::this_thread::sleep_for(1ms);
    return ScriptedPort::Read(buffer, std::min(n, 1));
  }
};

TEST(TalkingLineTest, FrameLongerThanOneCallIsReceivedAcrossCalls) {
  for (const bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "16-bit checksum" : "8-bit checksum");
    SlowPort port;
    IspLink link;
    link.outputs.echo = nullptr;
    link.port = &port;
    link.target.protocol_variant = wide ? 1 : 0;
    // Noise, then a frame of 200 payload bytes: a quarter of a second of bytes
    // without a pause.
    Bytes payload(200);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
    payload[0] = 0x50;
    const std::uint8_t length = static_cast<std::uint8_t>(payload.size() + (wide ? 6 : 5));
    Bytes line(20, 0x7F);
    line.insert(line.end(), {0x46, 0xB9, 0x68, 0x00, length});
    line.insert(line.end(), payload.begin(), payload.end());
    std::uint32_t sum = 0x68 + length;
    for (const std::uint8_t b : payload) sum += b;
    if (wide) line.push_back(static_cast<std::uint8_t>(sum >> 8));
    line.push_back(static_cast<std::uint8_t>(sum));
    line.push_back(0x16);
    port.Arrive(line);

    link.ResetReceiver();
    int returns_inside_frame = 0;
    bool received = false;
    for (int call = 0; call < 1000 && !received; ++call) {
      received = link.ReceivePacket(link.framing.receive_buffer, true);
      if (!received && link.framing.rx_state != 0) {
        ++returns_inside_frame;
        // Between the calls the wait loop runs; it must send no sync byte
        // into a frame that has started.
        EXPECT_FALSE(link.MaySendSync()) << "call " << call << " state " << link.framing.rx_state;
      }
    }
    ASSERT_TRUE(received);
    EXPECT_GE(returns_inside_frame, 2) << "the frame was read in one call";
    EXPECT_EQ(Bytes(link.framing.receive_buffer, link.framing.receive_buffer + payload.size()),
              payload);
  }
}

}  // namespace
}  // namespace fw
