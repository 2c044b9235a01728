// The int that every protocol step returns.
#pragma once

#include "messages/message_id.h"

namespace fw {

enum StepResult : int {
  kStepOk = 0,
  kStepRefused = 1,  // unexpected reply or refused
  kStepTimedOut = 2,
  kStepStopped = 3,  // running flag cleared
  kStepWrongChip = 4,
  kStepFinishedEarly = 5,
  kStepFailedLogged = -1,  // failed; its message is already in the log
  kStepBoardUpdated = -2,  // download board updated: contact it again
};

// The message with the result in words; kMsgResultFailedLogged for a value that
// is no step result.
MessageId StepResultWords(int result);

}  // namespace fw
