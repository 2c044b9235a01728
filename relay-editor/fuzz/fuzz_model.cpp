// Feeds arbitrary bytes to everything of the model that takes outside text:
// hex text helpers, listing text, decoders, the project file parser, the GBK
// helper, and the Program list with the optimiser. Beyond "no crash, no
// undefined behaviour" it checks a few properties that must hold for any
// input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/Decoders.h"
#include "model/EditorChoice.h"
#include "model/Encoders.h"
#include "model/GbkText.h"
#include "model/HexText.h"
#include "model/ListingText.h"
#include "model/Optimiser.h"
#include "model/ProgramList.h"
#include "model/ProjectFile.h"

namespace {

using namespace relay::model;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckHexHelpers(std::string_view text) {
  const std::string bytes = HexTextToByteString(text);
  const std::string hex = BytesToHexText(bytes);
  Require(HexTextToByteString(hex) == bytes);
  Require(ByteCount(hex) == bytes.size());
  Require(IsHexText(hex));
  // Hex text counts exactly the bytes it holds: what the capacity rule counts is
  // what goes into the device image.
  if (IsHexText(text)) Require(ByteCount(text) == HexTextToByteString(text).size());
  Require(CheckByteText(text).size() == 2);
  if (const auto normalised = NormaliseHexField(text)) {
    Require(NormaliseHexField(*normalised) == *normalised);
    Require(normalised->size() % 3 == 2 || normalised->empty());
  }
}

void CheckGbk(std::string_view bytes) {
  const std::string utf8 = GbkToUtf8Lossy(bytes);
  Require(Utf8ToGbkLossy(GbkToUtf8Reversible(bytes)) == bytes);
  if (const auto strict = GbkToUtf8(bytes)) Require(*strict == utf8);
  (void)Utf8ToGbk(bytes);
  (void)Utf8ToGbkLossy(bytes);
}

void CheckInstruction(std::string_view text) {
  (void)ListingText(text);
  IoActionFields io;
  TimerFields timer;
  LoopFields loop;
  SerialTriggerFields trigger;
  const int accepted = DecodeIoAction(text, io) + DecodeTimer(text, timer) +
                       DecodeLoop(text, loop) + DecodeSerialTrigger(text, trigger);
  Require(accepted <= 1);
  Require(EditorForEntry(text).has_value() == (accepted == 1));

  // Whatever an encoder accepts is a well-formed Instruction that decodes
  // into the same fields and has a listing text.
  if (accepted == 1 && trigger.action != Action::None) {
    const Encoded encoded = EncodeSerialTrigger(trigger);
    if (encoded.ok()) {
      const std::string& hex = encoded.hexText;
      Require(ByteCount(hex) == static_cast<std::size_t>((ByteAt(hex, 3).value_or(0) & 0x7F) + 5));
      Require(CheckByteText(hex.substr(0, hex.size() - 2)) == hex.substr(hex.size() - 2));
      SerialTriggerFields again;
      Require(DecodeSerialTrigger(hex, again));
      Require(EncodeSerialTrigger(again).hexText == hex);
      Require(!ListingText(hex).empty());
    }
  }
  if (DecodeIoAction(text, io) && io.channels.any()) Require(EncodeIoAction(io).ok());
}

void CheckProgramList(std::string_view content) {
  ProgramList list;
  list.AppendAll(ParseProjectText(content));
  const std::size_t loaded = list.Size();
  Require(FormatProjectText(list.HexTexts()).size() >= loaded * 2);
  for (std::size_t i = 0; i < loaded && i < 64; ++i) {
    list.Select(i);
    const std::string text = list.Entries()[i].hexText;
    list.Store(text, static_cast<int>(i % 4));
  }
  if (!list.Empty()) {
    list.Select(list.Size() / 2);
    list.MoveUp();
    list.MoveDown();
    list.DeleteSelected();
  }
  Optimise(list);
  const auto once = list.HexTexts();
  Optimise(list);
  Require(list.HexTexts() == once);
  for (const ProgramEntry& entry : list.Entries())
    Require(entry.hexText.empty() || entry.hexText.back() != ' ');
  list.TrimToCapacity();
  Require(list.Total() <= 512);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  CheckHexHelpers(input);
  CheckGbk(input);
  CheckInstruction(input);
  for (const std::string& line : ParseProjectText(input)) CheckInstruction(line);
  CheckProgramList(input);
  return 0;
}
