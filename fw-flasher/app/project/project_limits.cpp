#include "app/project/project_limits.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/project/project_format.h"

namespace fw {
namespace pf = project_format;
namespace {

std::string TooLong(const char* what, std::size_t size, std::size_t limit) {
  return std::string(what) + " of " + std::to_string(size) + " bytes is over its " +
         std::to_string(limit) + "-byte buffer";
}

std::string CheckBlocks(const Project& p) {
  if (p.code_block.size() > pf::kImageBufferSize)
    return TooLong("the code block", p.code_block.size(), pf::kImageBufferSize);
  if (!p.data_block.empty()) {
    const std::int64_t start = p.data_offset;
    const std::int64_t end = start + static_cast<std::int64_t>(p.data_block.size());
    if (start < 0 || end > static_cast<std::int64_t>(pf::kImageBufferSize))
      return "the data block at " + std::to_string(start) + ".." + std::to_string(end) +
             " lies outside the " + std::to_string(pf::kImageBufferSize) + "-byte image buffer";
  }
  if (p.board_program.size() > pf::kBoardProgramMaxSize)
    return TooLong("the board program", p.board_program.size(), pf::kBoardProgramMaxSize);
  if (p.board_firmware_a.size() > pf::kBoardFirmwareAMaxSize)
    return TooLong("board firmware block A", p.board_firmware_a.size(), pf::kBoardFirmwareAMaxSize);
  if (p.board_firmware_b.size() > pf::kBoardFirmwareBMaxSize)
    return TooLong("board firmware block B", p.board_firmware_b.size(), pf::kBoardFirmwareBMaxSize);
  if (p.user_key && p.user_key->size() > pf::kUserKeyMaxSize)
    return TooLong("the user key", p.user_key->size(), pf::kUserKeyMaxSize);
  return {};
}

std::string CheckSerialNumbers(const Project& p) {
  for (std::size_t n = 0; n < p.serial_numbers.size(); ++n) {
    const SerialNumberSettings& s = p.serial_numbers[n];
    if (!s.enabled) continue;
    const std::string name = "serial number " + std::to_string(n + 1);
    if (s.length < 1 || s.length > static_cast<std::int32_t>(pf::kSerialLengthMax))
      return name + " has the length " + std::to_string(s.length) + " (1 to 16 bytes)";
    const std::int64_t end = static_cast<std::int64_t>(s.address) + s.length;
    if (s.address < 0 || end > static_cast<std::int64_t>(pf::kCodeImageUsedSize))
      return name + " at " + std::to_string(s.address) + " lies outside the image";
  }
  return {};
}

void CutUserInterfaceCommand(UserInterfaceCommand& c) {
  const std::int64_t address = c.reply_address;
  const std::int64_t area = static_cast<std::int64_t>(pf::kReplyAreaEnd) - address;
  std::int64_t length = std::min<std::int64_t>(c.reply_length, pf::kReplyLengthMax);
  length = address < 0 ? 0 : std::clamp<std::int64_t>(length, 0, std::max<std::int64_t>(area, 0));
  c.reply_length = static_cast<std::uint16_t>(length);
  if (c.first_bytes.size() > pf::kFirstBytesMax) c.first_bytes.resize(pf::kFirstBytesMax);
  if (c.second_bytes.size() > pf::kSecondBytesMax) c.second_bytes.resize(pf::kSecondBytesMax);
}

}  // namespace

std::string ApplyLoadLimits(Project& project) {
  std::string refusal = CheckBlocks(project);
  if (refusal.empty()) refusal = CheckSerialNumbers(project);
  if (!refusal.empty()) return refusal;
  CutUserInterfaceCommand(project.user_interface_command);
  return {};
}

}  // namespace fw
