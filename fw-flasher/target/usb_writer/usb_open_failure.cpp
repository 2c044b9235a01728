#include "target/usb_writer/usb_open_failure.h"

#include "messages/message_table.h"

namespace fw {
namespace {

struct ReasonText {
  const char* english;
  const char* chinese;
};

ReasonText ReasonOf(UsbOpenError error) {
  switch (error) {
    case UsbOpenError::kNone:
      return {"", ""};
    case UsbOpenError::kNotFound:
      return {"no such USB writer is attached", "未找到该USB设备"};
    case UsbOpenError::kNoPermission:
      return {"no permission to open the device; install the udev rule (see README)",
              "无权打开该设备, 请安装 udev 规则 (见 README)"};
    case UsbOpenError::kBusy:
      return {"the device is in use by another program", "该设备正被其他程序使用"};
    case UsbOpenError::kGone:
      return {"the device was unplugged", "该设备已被拔出"};
    case UsbOpenError::kFailed:
      break;
  }
  return {"the device could not be opened", "无法打开该设备"};
}

}  // namespace

std::string UsbOpenFailureText(const UsbOpenResult& result, int writer_number, int language) {
  if (result.error == UsbOpenError::kNone) return {};
  const ReasonText reason = ReasonOf(result.error);
  std::string text = "USB" + std::to_string(writer_number);
  if (result.error != UsbOpenError::kNotFound) {
    text += " (" + result.location.DeviceNode() + ")";
  }
  text += ": ";
  text += language == kLanguageChinese ? reason.chinese : reason.english;
  if (result.error == UsbOpenError::kFailed && !result.detail.empty()) {
    text += " (" + result.detail + ")";
  }
  return text;
}

}  // namespace fw
