#include "pack/json_fields.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace fw {
namespace {

std::optional<std::int64_t> ParseIntegerText(const std::string& text) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 0);
  if (errno != 0 || end != text.c_str() + text.size()) return std::nullopt;
  return value;
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
