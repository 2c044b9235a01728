#include <gtest/gtest.h>

#include "device/Frames.h"
#include "model/HexText.h"

namespace relay::device {
namespace {

std::string AsBytes(const std::string& frameText) {
  return model::BytesToHexText(model::HexTextToBytes(frameText));
}

struct TFrameCase {
  const char* name;
  std::string frame;
  const char* bytes;
};

TEST(FramesTest, BuildersGiveTheFrameBytes) {
  const std::string block1 = "02 80 01 83 00 FF FF FE FF FF FF FF FF FF FF FF";
  const TFrameCase cases[] = {
      {"read block 1 at 255", ReadBlockFrame(255, 1), "24 FF 06 FE 01 00 00 00 28"},
      {"read block 32 at 0", ReadBlockFrame(0, 32), "24 00 06 FE 20 00 00 00 48"},
      {"erase at 255", EraseFrame(255), "24 FF 06 FF 00 00 00 00 28"},
      // The last byte stays 28 although the check byte would be 2A.
      {"erase at 1", EraseFrame(1), "24 01 06 FF 00 00 00 00 28"},
      {"restart at 255", RestartFrame(255), "24 FF 06 FD 00 00 00 00 26"},
      {"restart at 1", RestartFrame(1), "24 01 06 FD 00 00 00 00 28"},
      {"write block 1 at 255", WriteBlockFrame(255, 1, block1),
       "24 FF 13 FF 01 02 80 01 83 00 FF FF FE FF FF FF FF FF FF FF FF 30"},
      {"write block 32 at 7",
       WriteBlockFrame(7, 32, "FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF"),
       "24 07 13 FF 20 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 4D"},
  };
  for (const TFrameCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AsBytes(c.frame), c.bytes);
  }
}

TEST(FramesTest, WriteFrameCheckByteCoversEveryByte) {
  for (int address : {0, 1, 128, 255}) {
    for (int block : {1, 17, 32}) {
      SCOPED_TRACE(address * 100 + block);
      const auto bytes = model::HexTextToBytes(
          WriteBlockFrame(address, block, "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10"));
      ASSERT_EQ(bytes.size(), 22u);
      unsigned sum = 0;
      for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
      EXPECT_EQ(bytes.back(), sum & 0xFF);
      EXPECT_EQ(bytes[2], 0x13);
      EXPECT_EQ(bytes[4], block);
    }
  }
}

struct TAnswerCase {
  const char* name;
  const char* buffer;
  TAnswerKind kind;
  int block;
  const char* data;
};

TEST(FramesTest, RecognisesAnswersInTheReceiveBuffer) {
  const TAnswerCase cases[] = {
      {"empty", "", TAnswerKind::None, 0, ""},
      {"no start byte", "00 11 22 33 44 55 ", TAnswerKind::None, 0, ""},
      {"only the head", "24 FF 06 ", TAnswerKind::None, 0, ""},
      {"one byte short", "24 FF 06 FF 05 00 00 00 ", TAnswerKind::None, 0, ""},
      {"write acknowledgement", "24 FF 06 FF 05 00 00 00 2D ", TAnswerKind::Acknowledgement, 5, ""},
      {"erase acknowledgement", "24 FF 06 FF 00 00 00 00 28 ", TAnswerKind::Acknowledgement, 0, ""},
      {"other address and block are not compared", "24 03 06 FF 1F 00 00 00 4B ",
       TAnswerKind::Acknowledgement, 31, ""},
      {"noise before the answer", "00 13 7E 24 FF 06 FF 05 00 00 00 2D ",
       TAnswerKind::Acknowledgement, 5, ""},
      {"bytes after the answer", "24 FF 06 FF 05 00 00 00 2D 24 FF ", TAnswerKind::Acknowledgement,
       5, ""},
      {"wrong check byte", "24 FF 06 FF 05 00 00 00 2E ", TAnswerKind::WrongCheck, 0, ""},
      // Recognition starts at the 24 in the noise and fails its check there.
      {"start byte inside the noise", "24 01 02 24 FF 06 FF 05 00 00 00 2D ",
       TAnswerKind::WrongCheck, 0, ""},
      {"a later answer behind a bad one is not looked at",
       "24 FF 06 FF 05 00 00 00 2E 24 FF 06 FF 06 00 00 00 2E ", TAnswerKind::WrongCheck, 0, ""},
      {"read answer", "24 FF 13 FE 01 02 80 01 83 00 FF FF FE FF FF FF FF FF FF FF FF 2F ",
       TAnswerKind::ReadAnswer, 1, "02 80 01 83 00 FF FF FE FF FF FF FF FF FF FF FF"},
      {"restart command is of no interest", "24 FF 06 FD 00 00 00 00 26 ", TAnswerKind::Other, 0,
       ""},
      // An echo of the read request would carry no data bytes.
      {"read frame too short for its data", "24 FF 06 FE 01 00 00 00 28 ", TAnswerKind::Other, 0,
       ""},
      {"length too short for a command", "24 FF 01 24 ", TAnswerKind::Other, 0, ""},
  };
  for (const TAnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TAnswer a = RecogniseAnswer(c.buffer);
    EXPECT_EQ(a.kind, c.kind);
    if (c.kind == TAnswerKind::Acknowledgement || c.kind == TAnswerKind::ReadAnswer) {
      EXPECT_EQ(a.block, c.block);
    }
    EXPECT_EQ(a.data, c.data);
  }
}

TEST(FramesTest, AnswerSplitAnywhereIsFoundOnceComplete) {
  const std::string answer = "00 24 FF 06 FF 05 00 00 00 2D ";
  for (std::size_t cut = 0; cut + 3 <= answer.size(); cut += 3) {
    SCOPED_TRACE(cut);
    const TAnswerKind before = RecogniseAnswer(answer.substr(0, cut)).kind;
    EXPECT_EQ(before, TAnswerKind::None);
  }
  EXPECT_EQ(RecogniseAnswer(answer).kind, TAnswerKind::Acknowledgement);
}

}  // namespace
}  // namespace relay::device

#include <random>
#include <span>

#include "device/DeviceImage.h"

namespace relay::device {
namespace {

// Whatever the line delivers: recognition and the image walk stay within their input.
TEST(FramesTest, ArbitraryBuffersAndImagesAreSafe) {
  std::mt19937 random(20261210);
  std::uniform_int_distribution<int> byte(0, 255);
  const int interesting[] = {0x24, 0xFF, 0xFE, 0x00, 0x13, 0x06, 0x80, 0xFD};
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(byte(random) % 64));
    for (auto& b : bytes)
      b = static_cast<std::uint8_t>(byte(random) < 128 ? interesting[byte(random) % 8]
                                                       : byte(random));
    const TAnswer a = RecogniseAnswer(model::BytesToHexText(bytes) + " ");
    if (a.kind == TAnswerKind::ReadAnswer) {
      EXPECT_EQ(a.data.size(), kBlockTextLength);
    }

    std::vector<std::uint8_t> sector(512);
    for (auto& b : sector)
      b = static_cast<std::uint8_t>(byte(random) < 100 ? 0x80 + byte(random) % 0x7F : byte(random));
    const auto entries = TakeDeviceImageApart(model::BytesToHexText(sector) + " ");
    ASSERT_TRUE(entries);
    std::size_t total = 0;
    for (const auto& e : *entries) total += model::ByteCount(e);
    EXPECT_LE(total, 512u);
  }
}

// Cutting the buffer down to its answer part never changes what is found in it, now or
// after more bytes arrive.
TEST(FramesTest, AnswerPartDecidesLikeTheWholeBuffer) {
  std::mt19937 random(1210);
  std::uniform_int_distribution<int> byte(0, 255);
  const int interesting[] = {0x24, 0xFF, 0xFE, 0x00, 0x13, 0x06, 0x02, 0xFD};
  auto randomBytes = [&](std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes)
      b = static_cast<std::uint8_t>(byte(random) < 160 ? interesting[byte(random) % 8]
                                                       : byte(random));
    return bytes;
  };
  auto same = [](const TAnswer& a, const TAnswer& b) {
    return a.kind == b.kind && a.data == b.data &&
           (a.kind != TAnswerKind::Acknowledgement && a.kind != TAnswerKind::ReadAnswer
                ? true
                : a.block == b.block);
  };
  // As the receive path holds them: every byte followed by one blank.
  auto bufferText = [](const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::uint8_t b : bytes) text += model::BytesToHexText(std::span(&b, 1)) + " ";
    return text;
  };
  const std::string good = "24 FF 06 FF 05 00 00 00 2D ";
  for (int round = 0; round < 5000; ++round) {
    const std::string buffer = bufferText(randomBytes(byte(random) % 48));
    const std::string more = round % 3 == 0 ? good : bufferText(randomBytes(byte(random) % 32));
    const std::string part(AnswerPart(buffer));
    SCOPED_TRACE(buffer + "| " + more);
    EXPECT_TRUE(same(RecogniseAnswer(part), RecogniseAnswer(buffer)));
    EXPECT_TRUE(same(RecogniseAnswer(part + more), RecogniseAnswer(buffer + more)));
    EXPECT_LE(part.size(), buffer.size());
    EXPECT_TRUE(part.empty() || part.starts_with("24 "));
  }
  EXPECT_EQ(AnswerPart("00 13 "), "");
  EXPECT_EQ(AnswerPart("00 24 FF 06 FF "), "24 FF 06 FF ");
  EXPECT_EQ(AnswerPart("00 24 FF 06 FF 05 00 00 00 2E 24 FF 06 "), "24 FF 06 FF 05 00 00 00 2E ");
}

}  // namespace
}  // namespace relay::device
