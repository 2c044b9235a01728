#pragma once
// The fields of the four editors as plain values. The decoders fill them from
// a hex text, the encoders turn them into one; the dialogs only copy them to
// and from their widgets.

#include <string>

#include "model/Instruction.h"

namespace relay::model {

// "编程  -> IO类动作": 16 channel boxes and the three radio buttons.
struct IoActionFields {
  ChannelSet channels;
  Action action = Action::None;
};

// "编程  -> 定时器": spin box 0 to 65535, in units of 100 ms.
struct TimerFields {
  int value = 1;
};

// "编程  -> 指令循环": spin box 0 to 65535 (0 = "无效", 65535 = "一直维持").
struct LoopFields {
  int value = 0;
};

// "编程  -> 串口类指令".
struct SerialTriggerFields {
  ChannelSet channels;
  Action action = Action::None;
  // The received pattern: hex text when patternIsHex ("HEX" ticked),
  // otherwise plain characters (UTF-8; stored as their GBK bytes).
  std::string pattern;
  bool patternIsHex = false;
  // Hold box text, a decimal number of 100 ms units; "0" = for ever.
  std::string hold = "0";
  // OutputMode, 0 to 3.
  int outputMode = kOutputNone;
  // Hex text in mode 2, plain characters in mode 3, empty in modes 0 and 1.
  std::string output;
};

}  // namespace relay::model
