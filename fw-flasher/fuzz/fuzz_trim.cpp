// libFuzzer target: the six trim procedures on arbitrary inputs and replies.
// Besides the sanitizers' findings, every window of trims a procedure sends
// must be a run of consecutive values inside the trim range (no value wrapped
// past 255, none above 127 where the trim has 7 bits).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "isp/trim/trim_procedure.h"

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  std::uint8_t Byte() { return empty() ? 0 : data_[at_++]; }
  int Int() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = (v << 8) | Byte();
    int out;
    std::memcpy(&out, &v, sizeof out);
    return out;
  }
  std::vector<std::uint8_t> Bytes(std::size_t n) {
    std::vector<std::uint8_t> out;
    while (n-- > 0 && !empty()) out.push_back(Byte());
    return out;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

void Require(bool condition) {
  if (!condition) std::abort();
}

// Trims of a measurement command, in the order sent.
std::vector<int> Trims(int procedure, const std::vector<std::uint8_t>& c) {
  std::vector<int> trims;
  if (procedure == 1) {
    for (std::size_t at = 13; at < c.size(); at += 4) trims.push_back(c[at]);
  } else {
    for (std::size_t at = procedure == 3 ? 3 : 2; at < c.size(); at += 2) trims.push_back(c[at]);
  }
  return trims;
}

void CheckRun(const std::vector<int>& trims, std::size_t first, std::size_t n, int step,
              int max_trim) {
  Require(first + n <= trims.size());
  for (std::size_t i = first; i < first + n; ++i) {
    Require(trims[i] <= max_trim);
    if (i > first) Require(trims[i] - trims[i - 1] == step);
  }
}

// The windows each procedure derives from its measurements (`index` counts the
// commands, 0 being the fixed first one).
void CheckWindows(int procedure, int index, const std::vector<std::uint8_t>& command) {
  if (index == 0) return;
  const std::vector<int> t = Trims(procedure, command);
  switch (procedure) {
    case 1:
      CheckRun(t, 0, 11, 1, 255);
      break;
    case 2:
    case 5:
      for (std::size_t r = 0; r < 4; ++r) {
        Require(t[r] + 1 == t[4 + r] && t[4 + r] + 1 == t[8 + r]);
      }
      break;
    case 3:
      if (index == 2) CheckRun(t, 0, 9, 1, 127);  // command 1 is the fixed row across the range
      break;
    case 4:
      // Moved windows saturate at 00 and FF, so they only need to rise.
      for (std::size_t g : {0u, 6u}) {
        for (std::size_t i = g + 1; i < g + 6; ++i) Require(t[i] >= t[i - 1]);
      }
      break;
    case 6:
      CheckRun(t, 0, 12, 1, 255);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  fw::trim::TrimInputs inputs;
  inputs.family_code = 25 + in.Byte() % 50;
  inputs.fw_version = in.Byte();
  inputs.handshake_baud = in.Int();
  inputs.set_frequency = in.Int();
  inputs.measured_frequency = in.Int();
  for (std::size_t at : {29u, 30u, 31u, 51u, 52u, 53u, 54u, 55u, 56u, 57u}) {
    inputs.status_record[at] = in.Byte();
  }
  const int procedure = fw::trim::TrimProcedureNumber(inputs.family_code, inputs.fw_version);
  auto trim = fw::trim::MakeTrimProcedure(inputs);
  Require(trim != nullptr);

  fw::trim::TrimStep step = trim->Start();
  int index = 0;
  while (step.status == fw::trim::TrimStatus::kMeasure) {
    Require(index < 8);  // no procedure measures more than six times
    CheckWindows(procedure, index++, step.measurement.command);
    if (in.empty()) return 0;
    const std::vector<std::uint8_t> reply = in.Bytes(in.Byte());
    step = trim->Continue(reply);
  }
  return 0;
}
