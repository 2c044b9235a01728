#include "isp/link/step_result.h"

namespace fw {

MessageId StepResultWords(int result) {
  switch (result) {
    case kStepOk:
      return kMsgResultOk;
    case kStepRefused:
      return kMsgResultRefused;
    case kStepTimedOut:
      return kMsgResultTimedOut;
    case kStepStopped:
      return kMsgResultStopped;
    case kStepWrongChip:
      return kMsgResultWrongChip;
    case kStepFinishedEarly:
      return kMsgResultFinishedEarly;
    case kStepBoardUpdated:
      return kMsgResultBoardUpdated;
    default:
      return kMsgResultFailedLogged;
  }
}

}  // namespace fw
