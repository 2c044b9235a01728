// The controller's command frames as hex text, and the recognition of its answers in the
// receive buffer. Frame: 24, module address, length L (bytes after it, check byte
// included), command, block, data, check byte (sum of the bytes before it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace relay::device {

inline constexpr std::uint8_t kCommandRead = 0xFE;
inline constexpr std::uint8_t kCommandWrite = 0xFF;  // also the erase, with block 0
inline constexpr std::uint8_t kCommandRestart = 0xFD;
inline constexpr int kBlockCount = 32;
inline constexpr int kSectorBytes = 512;
inline constexpr std::size_t kBlockTextLength = 47;  // 16 bytes as hex text

// Address and block as 0-255 and 1-32.
std::string ReadBlockFrame(int address, int block);
// `blockText`: the block's 16 bytes as hex text (47 characters).
std::string WriteBlockFrame(int address, int block, std::string_view blockText);
// Ends with the fixed byte 28, which equals the check byte only for address 255.
std::string EraseFrame(int address);
std::string RestartFrame(int address);

enum class TAnswerKind {
  None,             // no start byte, or the frame is not complete yet
  WrongCheck,       // a complete frame whose check byte does not match
  Acknowledgement,  // command FF: a written block (1-32) or the erase (0)
  ReadAnswer,       // command FE with the block's 16 bytes
  Other,            // a valid frame of no interest (other command, too short to carry its fields)
};

struct TAnswer {
  TAnswerKind kind = TAnswerKind::None;
  std::uint8_t block = 0;  // byte 4
  std::string data;        // read answer: bytes 5 to 20 as hex text (47 characters)
};

// Looks for the controller's answer in the receive buffer (received bytes as hex text,
// every byte followed by one blank). The frame starts at the first byte 24; the address
// and block are not compared with the request.
TAnswer RecogniseAnswer(std::string_view receiveBuffer);

// The part of the receive buffer that still decides what RecogniseAnswer finds, now and
// after further bytes are appended: from the first byte 24 to the end of its frame once
// the frame is complete (bytes before it never begin an answer, bytes after a complete
// frame are not looked at), or to the end of the buffer while it is not. Empty without a
// byte 24.
std::string_view AnswerPart(std::string_view receiveBuffer);

}  // namespace relay::device
