#include "isp/trim/trim_procedure.h"

#include "isp/trim/procedure_1.h"
#include "isp/trim/procedure_2.h"
#include "isp/trim/procedure_3.h"
#include "isp/trim/procedure_4.h"
#include "isp/trim/procedure_5.h"
#include "isp/trim/procedure_6.h"
#include "isp/trim/trim_arithmetic.h"

namespace fw::trim {

namespace {
struct FamilyProcedure {
  int first_family, last_family, procedure;
};
constexpr FamilyProcedure kProcedures[] = {
    {25, 25, 1}, {28, 28, 1}, {26, 27, 4}, {29, 43, 4}, {44, 44, 3}, {45, 52, 2},
};
// From family 53 on the firmware version chooses between procedures 5 and 6.
constexpr int kFirstCountingFamily = 53;
constexpr int kSixthProcedureFirmware = 0x74;
}  // namespace

TrimStep TrimProcedure::Start() {
  replies_ = 0;
  TrimStep step = in_.set_frequency > 0 ? First() : Ended(TrimStatus::kUnusable);
  measuring_ = step.status == TrimStatus::kMeasure;
  return step;
}

TrimStep TrimProcedure::Continue(std::span<const std::uint8_t> reply) {
  if (!measuring_) return Ended(TrimStatus::kUnusable);
  TrimStep step = Next(replies_++, reply);
  measuring_ = step.status == TrimStatus::kMeasure;
  return step;
}

int TrimProcedureNumber(int family_code, int fw_version) {
  for (const FamilyProcedure& f : kProcedures) {
    if (family_code >= f.first_family && family_code <= f.last_family) return f.procedure;
  }
  if (family_code < kFirstCountingFamily) return 0;
  return fw_version < kSixthProcedureFirmware ? 5 : 6;
}

std::unique_ptr<TrimProcedure> MakeTrimProcedure(const TrimInputs& inputs) {
  switch (TrimProcedureNumber(inputs.family_code, inputs.fw_version)) {
    case 1:
      return std::make_unique<Procedure1>(inputs);
    case 2:
      return std::make_unique<Procedure2>(inputs);
    case 3:
      return std::make_unique<Procedure3>(inputs);
    case 4:
      return std::make_unique<Procedure4>(inputs);
    case 5:
      return std::make_unique<Procedure5>(inputs);
    case 6:
      return std::make_unique<Procedure6>(inputs);
    default:
      return nullptr;
  }
}

}  // namespace fw::trim
