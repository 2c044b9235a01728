// The third operation of a project over a serial port: no chip, but the
// download board itself, loaded with its control program and the stand-alone
// image so that it programs chips without a PC.
#pragma once

#include <functional>
#include <string_view>

#include "isp/link/step_result.h"

namespace fw {

class IspLink;

// Shows a message the operator must acknowledge (a message box where there is a
// window); the text has CR LF line ends.
using ShowMessageFn = std::function<void(std::string_view text)>;

// Connects to the board (when something else answers, message 8270 says that
// no board did before the result); a board without external flash and a user program of
// more than 43,008 bytes: message 8117 through show_message, kStepFailedLogged,
// nothing written. Otherwise the board program (link.request.board.program), then the
// stand-alone image; kStepFinishedEarly when both were taken, else the first
// result that was not kStepOk.
StepResult RunBoardOperation(IspLink& link, const ShowMessageFn& show_message);

}  // namespace fw
