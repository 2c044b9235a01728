#include "pack/json_fields.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

namespace fw {
namespace {

// Decimal, or hexadecimal after "0x"; a sign may come first. A leading 0 is
// no octal: "0100" is a hundred.
std::optional<std::int64_t> ParseIntegerText(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  // from_chars takes no sign of its own: "0x-5" and "--5" stay refused.
  if (text.empty() || !std::isxdigit(static_cast<unsigned char>(text.front()))) return std::nullopt;
  std::uint64_t magnitude = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  if (!negative) {
    if (magnitude > kMax) return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
  }
  if (magnitude > kMax + 1) return std::nullopt;
  return magnitude == kMax + 1 ? std::numeric_limits<std::int64_t>::min()
                               : -static_cast<std::int64_t>(magnitude);
}

}  // namespace

std::int64_t IntegerValue(const Json& value, const std::string& field, std::int64_t min,
                          std::int64_t max) {
  std::optional<std::int64_t> number;
  if (value.is_number_integer()) {
    if (value.is_number_unsigned() &&
        value.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
      number = std::nullopt;
    else
      number = value.get<std::int64_t>();
  } else if (value.is_string()) {
    number = ParseIntegerText(value.get<std::string>());
  }
  if (!number)
    throw FieldError(field, "a whole number is expected (decimal, or hexadecimal with 0x)");
  if (*number < min || *number > max)
    throw FieldError(field, "must be from " + std::to_string(min) + " to " + std::to_string(max) +
                                ", not " + std::to_string(*number));
  return *number;
}

FieldReader::FieldReader(const Json& object, std::string path)
    : object_(object), path_(std::move(path)) {
  if (!object_.is_object())
    throw FieldError(path_.empty() ? "project" : path_, "an object ({...}) is expected");
}

std::string FieldReader::PathOf(std::string_view key) const {
  return path_.empty() ? std::string(key) : path_ + "." + std::string(key);
}

const Json* FieldReader::Take(std::string_view key) {
  taken_.emplace_back(key);
  const auto found = object_.find(std::string(key));
  if (found == object_.end() || found->is_null()) return nullptr;
  return &*found;
}

std::int64_t FieldReader::Integer(std::string_view key, std::int64_t min, std::int64_t max,
                                  std::int64_t fallback) {
  const Json* value = Take(key);
  return value ? IntegerValue(*value, PathOf(key), min, max) : fallback;
}

bool FieldReader::Flag(std::string_view key, bool fallback) {
  const Json* value = Take(key);
  if (!value) return fallback;
  if (!value->is_boolean()) throw FieldError(PathOf(key), "true or false is expected");
  return value->get<bool>();
}

std::string FieldReader::Text(std::string_view key, const std::string& fallback) {
  const Json* value = Take(key);
  if (!value) return fallback;
  if (!value->is_string()) throw FieldError(PathOf(key), "a text in double quotes is expected");
  return value->get<std::string>();
}

std::optional<FieldReader> FieldReader::Object(std::string_view key) {
  const Json* value = Take(key);
  if (!value) return std::nullopt;
  return FieldReader(*value, PathOf(key));
}

void FieldReader::RefuseUnknownKeys() const {
  for (const auto& [key, value] : object_.items()) {
    if (std::find(taken_.begin(), taken_.end(), key) == taken_.end())
      throw FieldError(PathOf(key), "unknown setting");
  }
}

}  // namespace fw
