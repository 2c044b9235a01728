#include "app/run/serial_numbers.h"

#include <string>

namespace fw {
namespace {

// The serial-number edits show decimal numbers without leading zeros.
constexpr char kDecimal = 'd';
constexpr char kHexadecimal = 'x';
constexpr int kShownDigits = 1;
// ASCII form: this many hexadecimal digits become the 16 bytes of the value.
constexpr int kAsciiDigits = 16;

std::string Shown(const SerialValue& value) { return SerialToText(value, kDecimal, kShownDigits); }

}  // namespace

std::optional<SerialEdit> SerialEditOf(const Project& project, int n) {
  if (n < 0 || n >= SerialNumbers::kCount) return std::nullopt;
  if (!project.serial_numbers[static_cast<std::size_t>(n)].enabled) return std::nullopt;
  if (n == 0) return SerialEdit::kFirst;
  return project.serial_numbers[0].enabled ? SerialEdit::kSecond : SerialEdit::kFirst;
}

SerialValue BcdForm(const SerialValue& value) {
  return SerialFromText(SerialToText(value, kDecimal, kShownDigits), kHexadecimal);
}

SerialValue AsciiDigitsForm(const SerialValue& value) {
  const std::string digits = SerialToText(value, kHexadecimal, kAsciiDigits);
  // Byte k holds the k-th digit counted from the least significant one.
  std::array<std::uint8_t, SerialValue::kByteCount> bytes{};
  for (std::size_t k = 0; k < bytes.size(); ++k) {
    bytes[k] = static_cast<std::uint8_t>(digits[digits.size() - 1 - k]);
  }
  return SerialValue::FromBytesLsbFirst(bytes);
}

SerialNumbers::SerialNumbers(const Project& project) : project_(project) {
  for (int n = 0; n < kCount; ++n) {
    values_[static_cast<std::size_t>(n)] =
        project.serial_numbers[static_cast<std::size_t>(n)].start;
  }
}

void SerialNumbers::Show(DownloadView& view, SerialEdit edit, int n) {
  const auto i = static_cast<std::size_t>(n);
  shown_[i] = Shown(values_[i]);
  view.ShowSerialText(edit, shown_[i]);
}

void SerialNumbers::Load(const StoredSerials& stored, DownloadView& view) {
  for (int n = 0; n < kCount; ++n) {
    const auto edit = SerialEditOf(project_, n);
    if (!edit) continue;
    const auto i = static_cast<std::size_t>(n);
    if (stored[i]) values_[i] = *stored[i];
    known_stored_[i] = stored[i];
    Show(view, *edit, n);
  }
}

std::array<PreparedSerial, SerialNumbers::kCount> SerialNumbers::Prepare(
    DownloadView& view, const StoredSerials& stored) {
  for (int n = 0; n < kCount; ++n) {
    const auto edit = SerialEditOf(project_, n);
    if (!edit) continue;
    const auto i = static_cast<std::size_t>(n);
    if (stored[i] && stored[i] != known_stored_[i] && view.SerialText(*edit) == shown_[i]) {
      values_[i] = *stored[i];
      Show(view, *edit, n);
    }
    known_stored_[i] = stored[i];
  }
  return Prepare(view);
}

std::array<PreparedSerial, SerialNumbers::kCount> SerialNumbers::Prepare(DownloadView& view) {
  std::array<PreparedSerial, kCount> prepared{};
  for (int n = 0; n < kCount; ++n) {
    const SerialNumberSettings& settings = project_.serial_numbers[static_cast<std::size_t>(n)];
    SerialValue& value = values_[static_cast<std::size_t>(n)];
    if (const auto edit = SerialEditOf(project_, n)) {
      value = SerialFromText(view.SerialText(*edit), kDecimal);
    }
    PreparedSerial& p = prepared[static_cast<std::size_t>(n)];
    p.enabled = settings.enabled;
    p.address = settings.address;
    p.length = settings.length;
    p.format = settings.format;
    p.step = settings.step;
    p.value = settings.format == kSerialPlain ? value : BcdForm(value);
  }
  return prepared;
}

StoredSerials SerialNumbers::Advance(DownloadView& view) {
  StoredSerials advanced;
  for (int n = 0; n < kCount; ++n) {
    const auto edit = SerialEditOf(project_, n);
    if (!edit) continue;
    const auto i = static_cast<std::size_t>(n);
    SerialAdd(values_[i], project_.serial_numbers[i].step);
    advanced[i] = values_[i];
    Show(view, *edit, n);
  }
  return advanced;
}

void SerialNumbers::MarkStored(const StoredSerials& stored) {
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i]) known_stored_[i] = stored[i];
  }
}

}  // namespace fw
