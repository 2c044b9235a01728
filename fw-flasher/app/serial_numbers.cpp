#include "app/serial_numbers.h"

#include <string>

#include "app/profile.h"

namespace fw {
namespace {

// The serial-number edits show decimal numbers without leading zeros.
constexpr char kDecimal = 'd';
constexpr char kHexadecimal = 'x';
constexpr int kShownDigits = 1;
// ASCII form: this many hexadecimal digits become the 16 bytes of the value.
constexpr int kAsciiDigits = 16;

struct ProfileKeys {
  std::string_view valid;
  std::string_view value;
};
constexpr ProfileKeys kKeys[SerialNumbers::kCount] = {
    {profile_keys::kIncValue1Valid, profile_keys::kIncValue1},
    {profile_keys::kIncValue2Valid, profile_keys::kIncValue2},
};

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

void SerialNumbers::Load(Profile& profile, DownloadView& view) {
  for (int n = 0; n < kCount; ++n) {
    const auto edit = SerialEditOf(project_, n);
    if (!edit) continue;
    const ProfileKeys& keys = kKeys[n];
    SerialValue& value = values_[static_cast<std::size_t>(n)];
    if (profile.ReadInt(keys.valid, 0) != 0) {
      const auto stored = profile.ReadBytes(keys.value);
      if (stored && stored->size() == SerialValue::kByteCount) {
        value =
            SerialValue::FromBytesLsbFirst(std::span<const std::uint8_t, SerialValue::kByteCount>(
                stored->data(), SerialValue::kByteCount));
      }
    }
    view.ShowSerialText(*edit, Shown(value));
  }
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

void SerialNumbers::Advance(Profile& profile, DownloadView& view) {
  for (int n = 0; n < kCount; ++n) {
    const auto edit = SerialEditOf(project_, n);
    if (!edit) continue;
    SerialValue& value = values_[static_cast<std::size_t>(n)];
    SerialAdd(value, project_.serial_numbers[static_cast<std::size_t>(n)].step);
    const auto bytes = value.ToBytesLsbFirst();
    profile.WriteInt(kKeys[n].valid, 1);
    profile.WriteBytes(kKeys[n].value, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    view.ShowSerialText(*edit, Shown(value));
  }
}

}  // namespace fw
