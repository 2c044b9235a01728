#include "sim/download_board_sim.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "sim/sim_text.h"

namespace fw::sim {
namespace {

// Request codes the board takes for itself.
constexpr std::uint8_t kControl = 0xFF;
constexpr std::uint8_t kBeginBlock = 0xF1;  // update: block A; stand-alone: the program
constexpr std::uint8_t kWriteBlock = 0xF2;  // likewise, at an offset
constexpr std::uint8_t kCloseBlock = 0xF3;  // update: announces block B; stand-alone: F3 80
constexpr std::uint8_t kWriteImage = 0xF4;  // update: the header; stand-alone: header and program
constexpr std::uint8_t kWriteFirmware = 0xF6;  // update: block B behind the header
constexpr std::uint8_t kStartTarget = 0xF8;    // contact the chip and relay from then on

// Control sub-codes (FF xx ...).
constexpr std::uint8_t kSetRate = 0x02;    // FF 02 code parity
constexpr std::uint8_t kResult = 0x04;     // FF 04 s (FF 04 00 while setting up)
constexpr std::uint8_t kLeave = 0x07;      // FF 07
constexpr std::uint8_t kEndUpdate = 0x08;  // FF 08 20 36 C9
constexpr std::uint8_t kEndCheck = 0x0A;   // FF 0A 01: no update; FF 0A D0: an update follows
constexpr std::uint8_t kNoUpdate = 0x01;
constexpr std::uint8_t kUpdateFollows = 0xD0;
constexpr std::uint8_t kProgramFinished = 0x80;  // F3 80

// The board's acknowledgement: the request code, then 'T'; a refusal carries
// another second byte.
constexpr std::uint8_t kTaken = 0x54;
constexpr std::uint8_t kNotTaken = 0x45;
// Sent bare when the board has passed a program packet on to the chip.
constexpr std::uint8_t kForwarded = 0x02;
// Baud switch commands of the older boot loaders, whose code the board echoes
// bare before the chip answers at a new rate.
constexpr std::uint8_t kTrialRate = 0x8F;
constexpr std::uint8_t kSwitchRate = 0x8E;

// FF 02: rate codes up to 96 count 1,200 baud each, from 0x80 on 115,200 each.
constexpr int kRateUnit = 1200;
constexpr int kFastRateCodes = 0x80;
constexpr int kFastRateUnit = 115200;

constexpr std::size_t kOffsetBytes = 3;  // a2 a1 a0 after the request code

// Identity reply layout.
constexpr std::uint8_t kIdentity = 0x51;
constexpr std::size_t kIdentityBytes = 20;

int OffsetOf(std::span<const std::uint8_t> p) { return p[1] << 16 | p[2] << 8 | p[3]; }

// Stores the data of an F2/F4/F6 request at its offset; notes a write that does
// not continue where the last one ended.
void Store(std::vector<std::uint8_t>& into, std::span<const std::uint8_t> p, const char* what,
           BoardStep& step) {
  const auto offset = static_cast<std::size_t>(OffsetOf(p));
  const auto data = p.subspan(1 + kOffsetBytes);
  if (offset != into.size()) {
    step.notes.push_back(std::string("board: ") + what + " written at " + std::to_string(offset) +
                         ", expected at " + std::to_string(into.size()));
  }
  if (into.size() < offset + data.size()) into.resize(offset + data.size(), 0xFF);
  std::copy(data.begin(), data.end(), into.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::vector<std::uint8_t> Acknowledge(std::uint8_t code, bool taken = true) {
  return {code, taken ? kTaken : kNotTaken};
}

nlohmann::json HexOrNull(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return nullptr;
  return HexText(bytes);
}

}  // namespace

std::vector<std::uint8_t> DownloadBoardSim::Contact(int host_rate) {
  phase_ = Phase::kContacted;
  chip_rate_ = host_rate;
  update_completed_ = false;
  store_.last_result.reset();
  std::vector<std::uint8_t> p(kIdentityBytes, 0x00);
  p[0] = kIdentity;
  p[1] = static_cast<std::uint8_t>(version_ >> 8);
  p[2] = static_cast<std::uint8_t>(version_);
  p[4] = static_cast<std::uint8_t>(config_.flash_code);
  p[5] = config_.flash_code != 0 ? 1 : 0;
  p[15] = static_cast<std::uint8_t>(config_.model_code);
  p[16] = static_cast<std::uint8_t>(config_.crystal_count);  // low byte first
  p[17] = static_cast<std::uint8_t>(config_.crystal_count >> 8);
  return p;
}

BoardStep DownloadBoardSim::OnPacket(std::span<const std::uint8_t> p) {
  BoardStep step;
  if (p.empty() || phase_ == Phase::kWaiting) return step;
  const std::uint8_t code = p[0];
  if (code == kControl && p.size() >= 2) {
    OnControl(p, step);
    return step;
  }
  if (phase_ == Phase::kRelaying) {
    OnRelayed(p, step);
    return step;
  }
  if (code == kStartTarget) {
    phase_ = Phase::kRelaying;
    step.contact_chip = true;
    return step;
  }
  const bool request = code == kBeginBlock || code == kWriteBlock || code == kCloseBlock ||
                       code == kWriteImage || code == kWriteFirmware;
  if (!request) return step;  // the end packets of a download the board itself ran
  const bool with_offset = code == kWriteBlock || code == kWriteImage || code == kWriteFirmware;
  if (p.size() < (with_offset ? 1 + kOffsetBytes + 1 : 2)) {
    step.notes.push_back("board: request " + HexByte(code) + " too short");
    step.replies.push_back(Acknowledge(code, false));
    return step;
  }
  if (phase_ == Phase::kUpdating) {
    OnUpdateRequest(p, step);
  } else if (phase_ == Phase::kStandAlone) {
    OnStandAloneRequest(p, step);
  } else {
    step.notes.push_back("board: request " + HexByte(code) + " before FF 0A told what it is for");
    step.replies.push_back(Acknowledge(code, false));
  }
  return step;
}

void DownloadBoardSim::OnControl(std::span<const std::uint8_t> p, BoardStep& step) {
  switch (p[1]) {
    case kSetRate:
      if (p.size() >= 3) {
        chip_rate_ =
            p[2] >= kFastRateCodes ? (p[2] - kFastRateCodes) * kFastRateUnit : p[2] * kRateUnit;
      }
      return;
    case kEndCheck:
      if (p.size() >= 3 && p[2] == kUpdateFollows) phase_ = Phase::kUpdating;
      if (p.size() >= 3 && p[2] == kNoUpdate) phase_ = Phase::kStandAlone;
      return;
    case kEndUpdate:
      if (phase_ != Phase::kUpdating) return;
      if (store_.firmware_image.size() > static_cast<std::size_t>(store_.announced_blocks) * 512) {
        step.notes.push_back("board: firmware of " + std::to_string(store_.firmware_image.size()) +
                             " bytes, " + std::to_string(store_.announced_blocks) +
                             " blocks of 512 announced");
      }
      update_completed_ = true;
      ++store_.firmware_updates;
      return;
    case kResult:
      if (p.size() >= 3) store_.last_result = p[2];
      return;
    case kLeave:
      Leave(step);
      return;
    default:
      return;  // set-up and signals: nothing the simulation keeps
  }
}

void DownloadBoardSim::Leave(BoardStep& step) {
  if (update_completed_) version_ = config_.version_after_update;
  update_completed_ = false;
  phase_ = Phase::kWaiting;
  step.leave = true;
}

void DownloadBoardSim::OnUpdateRequest(std::span<const std::uint8_t> p, BoardStep& step) {
  const std::uint8_t code = p[0];
  switch (code) {
    case kBeginBlock:
      store_.firmware_a.clear();
      store_.firmware_image.clear();
      break;
    case kWriteBlock:
      Store(store_.firmware_a, p, "block A", step);
      break;
    case kCloseBlock:
      store_.announced_blocks = p[1];
      break;
    case kWriteImage:
    case kWriteFirmware: {
      const bool in_header = OffsetOf(p) < kHeaderBytes;
      if (in_header != (code == kWriteImage)) {
        step.notes.push_back("board: " + HexByte(code) + " at offset " +
                             std::to_string(OffsetOf(p)) +
                             "; F4 writes the header, F6 what follows it");
      }
      Store(store_.firmware_image, p, "the firmware", step);
      break;
    }
    default:
      break;
  }
  step.replies.push_back(Acknowledge(code));
}

void DownloadBoardSim::OnStandAloneRequest(std::span<const std::uint8_t> p, BoardStep& step) {
  const std::uint8_t code = p[0];
  switch (code) {
    case kBeginBlock:
      store_.program.clear();
      store_.program_finished = false;
      break;
    case kWriteBlock:
      Store(store_.program, p, "the board program", step);
      break;
    case kCloseBlock:
      if (p[1] != kProgramFinished) {
        step.notes.push_back("board: F3 " + HexByte(p[1]) + " after the board program, not F3 80");
        step.replies.push_back(Acknowledge(code, false));
        return;
      }
      store_.program_finished = true;
      break;
    case kWriteImage: {
      const std::size_t end = static_cast<std::size_t>(OffsetOf(p)) + p.size() - 1 - kOffsetBytes;
      if (config_.flash_code == 0 && end > kHeaderBytes + kInternalProgramBytes) {
        step.notes.push_back("board: no external flash for a stand-alone program of more than " +
                             std::to_string(kInternalProgramBytes) + " bytes");
        step.replies.push_back(Acknowledge(code, false));
        return;
      }
      if (OffsetOf(p) == 0) store_.standalone_image.clear();
      Store(store_.standalone_image, p, "the stand-alone image", step);
      break;
    }
    default:
      step.notes.push_back("board: " + HexByte(code) + " is no request of stand-alone programming");
      step.replies.push_back(Acknowledge(code, false));
      return;
  }
  step.replies.push_back(Acknowledge(code));
}

void DownloadBoardSim::OnRelayed(std::span<const std::uint8_t> p, BoardStep& step) {
  const std::uint8_t code = p[0];
  if (code == kTrialRate || code == kSwitchRate) {
    // The chip will answer at a new rate: the host is to set it with FF 02 first.
    step.bare.push_back(code);
  } else if (IsProgramPacket(p)) {
    step.bare.push_back(kForwarded);
  }
  step.forward = true;
}

// A packet that carries program data on to the chip (a code block or an extra
// data record, which share their layout).
bool DownloadBoardSim::IsProgramPacket(std::span<const std::uint8_t> p) const {
  if (chip_.variant < 3) {
    // 00 (or 30 when sent again) p3 p2 p1 p0 00 n data
    constexpr std::size_t kHeader = 7;
    return p.size() > kHeader && (p[0] == 0x00 || p[0] == 0x30) && p[5] == 0x00;
  }
  // The command with its first-block and low-area bits cleared; data behind a
  // header of at least 3 bytes. Newer boot loaders measure their clock with 00.
  constexpr std::size_t kShortHeader = 3;
  const std::uint8_t command = p[0] & 0xCF;
  const bool program = chip_.sequence == SimSequence::kNewer ? command == 0x02 || command == 0x82
                                                             : command == 0x00 || command == 0x02;
  return program && p.size() > kShortHeader;
}

std::string BoardJson(const DownloadBoardSim& board) {
  const BoardStore& s = board.store();
  nlohmann::json j;
  j["version"] = board.version();
  j["firmware_updates"] = s.firmware_updates;
  j["firmware_a"] = HexOrNull(s.firmware_a);
  j["firmware_image"] = HexOrNull(s.firmware_image);
  j["announced_blocks"] = s.announced_blocks;
  j["program"] = HexOrNull(s.program);
  j["program_finished"] = s.program_finished;
  const auto header_end =
      s.standalone_image.begin() +
      std::min<std::ptrdiff_t>(DownloadBoardSim::kHeaderBytes,
                               static_cast<std::ptrdiff_t>(s.standalone_image.size()));
  j["standalone_header"] = HexOrNull({s.standalone_image.begin(), header_end});
  j["standalone_program"] = HexOrNull({header_end, s.standalone_image.end()});
  j["last_result"] = s.last_result ? nlohmann::json(*s.last_result) : nlohmann::json(nullptr);
  return j.dump(2) + "\n";
}

}  // namespace fw::sim
