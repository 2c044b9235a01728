// Typed reading of the project description's JSON objects: every value is
// checked where it is read, every refusal names its field, and a key that no
// reader asked for is refused as unknown (a misspelt setting must not pass).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace fw {

using Json = nlohmann::ordered_json;

class FieldError : public std::runtime_error {
 public:
  FieldError(const std::string& field, const std::string& problem)
      : std::runtime_error(field + ": " + problem), field_(field) {}
  const std::string& field() const { return field_; }

 private:
  std::string field_;
};

class FieldReader {
 public:
  // `path` names the object in messages ("" for the top level).
  FieldReader(const Json& object, std::string path);

  std::string PathOf(std::string_view key) const;
  const std::string& path() const { return path_; }

  // The value of `key`, or null when it is absent or JSON null; marks it read.
  const Json* Take(std::string_view key);

  // A whole number given as a JSON number or as a text ("0x1F", "31", "-2").
  std::int64_t Integer(std::string_view key, std::int64_t min, std::int64_t max,
                       std::int64_t fallback);
  bool Flag(std::string_view key, bool fallback);
  std::string Text(std::string_view key, const std::string& fallback);
  std::optional<FieldReader> Object(std::string_view key);

  // FieldError for the first key that no reader took.
  void RefuseUnknownKeys() const;

 private:
  const Json& object_;
  std::string path_;
  std::vector<std::string> taken_;
};

// A whole number from a JSON number or text, for values outside objects (array
// elements); `field` names it in the refusal.
std::int64_t IntegerValue(const Json& value, const std::string& field, std::int64_t min,
                          std::int64_t max);

}  // namespace fw
