#include "model/EditorChoice.h"

#include "model/Decoders.h"

namespace relay::model {

std::optional<EditorKind> EditorForEntry(std::string_view hexText) {
  // Decode into scratch fields: only whether a decoder accepts matters here.
  IoActionFields io;
  TimerFields timer;
  LoopFields loop;
  SerialTriggerFields trigger;
  if (DecodeIoAction(hexText, io)) return EditorKind::IoAction;
  if (DecodeTimer(hexText, timer)) return EditorKind::Timer;
  if (DecodeLoop(hexText, loop)) return EditorKind::Loop;
  if (DecodeSerialTrigger(hexText, trigger)) return EditorKind::SerialTrigger;
  return std::nullopt;
}

std::string_view EditorButtonCaption(EditorKind kind) {
  switch (kind) {
    case EditorKind::IoAction:
      return "IO类动作";
    case EditorKind::Timer:
      return "定时器";
    case EditorKind::Loop:
      return "循环类动作";
    case EditorKind::SerialTrigger:
      return "串口类动作";
  }
  return {};
}

}  // namespace relay::model
