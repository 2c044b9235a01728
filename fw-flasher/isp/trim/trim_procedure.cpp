#include "isp/trim/trim_procedure.h"

#include "isp/trim/procedure_1.h"
#include "isp/trim/procedure_2.h"
#include "isp/trim/procedure_3.h"
#include "isp/trim/procedure_4.h"
#include "isp/trim/procedure_5.h"
#include "isp/trim/procedure_6.h"
#include "isp/trim/trim_arithmetic.h"
#include "target/chips/family_traits.h"

namespace fw::trim {

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
  return TraitsOf(family_code).TrimProcedureFor(fw_version);
}

std::unique_ptr<TrimProcedure> MakeTrimProcedure(const TrimInputs& inputs) {
  const int procedure = TrimProcedureNumber(inputs.family_code, inputs.fw_version);
  switch (procedure) {
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
