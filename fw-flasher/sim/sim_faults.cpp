#include "sim/sim_faults.h"

#include <array>
#include <charconv>
#include <utility>

namespace fw::sim {
namespace {

constexpr std::array<std::pair<SimStep, const char*>, 12> kStepNames = {{
    {SimStep::kPrepare, "prepare"},
    {SimStep::kBaud, "baud"},
    {SimStep::kBaudCheck, "baud-check"},
    {SimStep::kPassword, "password"},
    {SimStep::kErase, "erase"},
    {SimStep::kUserKey, "key"},
    {SimStep::kBlock, "block"},
    {SimStep::kRecord, "record"},
    {SimStep::kClose, "close"},
    {SimStep::kOptions, "options"},
    {SimStep::kNewPassword, "new-password"},
    {SimStep::kMeasure, "measure"},
}};

// A whole decimal number from 1 to 1,000,000.
bool ParseCount(const std::string& text, int& out) {
  int v = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (error != std::errc() || end != text.data() + text.size() || v < 1 || v > 1000000) {
    return false;
  }
  out = v;
  return true;
}

}  // namespace

const char* StepName(SimStep step) {
  for (const auto& [s, name] : kStepNames) {
    if (s == step) return name;
  }
  return "?";
}

std::optional<SimStep> StepNamed(const std::string& name) {
  for (const auto& [s, n] : kStepNames) {
    if (name == n) return s;
  }
  return std::nullopt;
}

bool ParseSilentAfter(const std::string& text, SimFaults& faults) {
  const std::size_t colon = text.find(':');
  const auto step = StepNamed(text.substr(0, colon));
  if (!step) return false;
  int block = 0;
  if (colon != std::string::npos &&
      (*step != SimStep::kBlock || !ParseCount(text.substr(colon + 1), block))) {
    return false;
  }
  faults.silent_after = step;
  faults.silent_after_block = block;
  return true;
}

bool ParseResend(const std::string& text, SimFaults& faults) {
  const std::size_t colon = text.find(':');
  int block = 0;
  int times = 1;
  if (!ParseCount(text.substr(0, colon), block)) return false;
  if (colon != std::string::npos && !ParseCount(text.substr(colon + 1), times)) return false;
  faults.resend_requests[block] = times;
  return true;
}

}  // namespace fw::sim
