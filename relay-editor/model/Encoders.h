#pragma once
// The four encoders: an editor's fields to an Instruction's hex text.

#include <string>
#include <string_view>

#include "model/EditorFields.h"

namespace relay::model {

// Why an encoder refused its fields.
enum class EncodeProblem {
  None,
  NoAction,             // no radio button selected
  NoChannel,            // no channel box ticked
  ValueOutOfRange,      // timer or loop value outside 0..65535
  NoValue,              // the timer or loop box was emptied
  HoldNotInteger,       // hold text is not a decimal integer
  HoldOutOfRange,       // hold time outside 0..4095
  BadOutputMode,        // output mode outside 0..3
  EmptyPattern,         // nothing to wait for
  MalformedHexPattern,  // HEX pattern is not digit pairs and blanks
  EmptyHexOutput,       // HEX output mode with an empty output field
  MalformedHexOutput,   // HEX output is not digit pairs and blanks
  NotGbkText,           // ASCII pattern or output has a character GBK lacks
  TooLong,              // output count > 31 or 3 + output + pattern > 127
};

// How an editor shows a refusal.
enum class RefusalDisplay {
  None,                // not refused
  FailureOnly,         // only "操作失败！" (title "警告：")
  WarningThenFailure,  // message (title "警告："), then "操作失败！"
  ConversionError,     // message in the application's error box, no "操作失败！"
};

// Texts the editors show.
inline constexpr std::string_view kWarningTitle = "警告：";
inline constexpr std::string_view kFailureMessage = "操作失败！";
inline constexpr std::string_view kTooLongWarning =
    "串口反馈内容超过32字节 或 其和串口指令超过126字节！";

// An encoder's result: the hex text, or an empty text with the problem and a
// message that names it (UTF-8; set for every refusal).
struct Encoded {
  std::string hexText;
  EncodeProblem problem = EncodeProblem::None;
  std::string message;

  bool ok() const { return problem == EncodeProblem::None; }
  RefusalDisplay display() const;
};

// "打开" on channels 1 and 16 gives "02 80 01 83".
Encoded EncodeIoAction(const IoActionFields& fields);
// Value 10 gives "04 00 0A 0E".
Encoded EncodeTimer(const TimerFields& fields);
// Count 65535 gives "00 FF FF FE".
Encoded EncodeLoop(const LoopFields& fields);
// Close on channel 1 when HEX 01 02 arrives, no output, hold 0 gives
// "85 00 01 05 00 00 00 01 02 8E". HEX fields are normalised to single
// blanks; ASCII texts are stored as their GBK bytes. In modes 0 and 1 the
// output field is ignored (the editor clears it).
Encoded EncodeSerialTrigger(const SerialTriggerFields& fields);

}  // namespace relay::model
