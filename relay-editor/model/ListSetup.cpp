#include "model/ListSetup.h"

#include "model/Instruction.h"

namespace relay::model {

std::string CapacityCaption(int total) {
  return "指令清单（ 扇区容量 : " + std::to_string(total) + " / " +
         std::to_string(kSectorCapacity) + " ）";
}

}  // namespace relay::model
