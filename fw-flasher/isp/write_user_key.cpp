#include "isp/write_user_key.h"

#include "isp/link/isp_link.h"
#include "isp/link/protocol_codes.h"
#include "isp/step_support.h"
#include "target/chips/status_record.h"

namespace fw {
namespace {

constexpr int kPauseMs = 10;
constexpr int kTimeoutMs = 2000;
constexpr int kKeyBytes = 256;
constexpr int kKeyBlockBytes = 64;

}  // namespace

StepResult WriteUserKey(IspLink& link) {
  using namespace boot_loader;
  if (link.target.protocol_variant <= 2) {
    LogMessage(link, link.GetText(kMsgUserKeyNotSupported));
    return kStepOk;
  }
  link.Pause(kPauseMs);
  link.SetProgress(0, kKeyBytes);
  std::uint8_t code = kWriteKey | kFirstBlockBit;
  for (int offset = 0; offset < kKeyBytes; offset += kKeyBlockBytes) {
    CommandBuilder command(link);
    command.Add({code, 0x00, static_cast<std::uint8_t>(offset)});
    if (link.target.fw_version >= kFirmware72) command.AddGuard(link);
    command.Add(std::span<const std::uint8_t>(link.image.user_key)
                    .subspan(static_cast<std::size_t>(offset), kKeyBlockBytes));
    if (const StepResult r = SendAndWait(link, command, kTimeoutMs); r != kStepOk) return r;
    if (!ReplyAccepts(link, code)) return kStepRefused;
    link.SetProgress(offset, kKeyBytes);
    code &= static_cast<std::uint8_t>(~kFirstBlockBit);
  }
  link.SetProgress(0, kKeyBytes);
  return kStepOk;
}

}  // namespace fw
