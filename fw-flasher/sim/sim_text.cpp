#include "sim/sim_text.h"

#include <cstdio>

namespace fw::sim {

std::string HexByte(int value) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", value & 0xFF);
  return text;
}

std::string HexNumber(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string HexText(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

bool Refusal(std::string& why, std::string text) {
  why = std::move(text);
  return false;
}

}  // namespace fw::sim
