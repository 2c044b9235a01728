#include "device/DeviceOperations.h"

#include <algorithm>
#include <charconv>
#include <span>

#include "device/DeviceImage.h"
#include "device/ProgramCheck.h"
#include "model/HexText.h"
#include "model/Optimiser.h"
#include "model/ProgramList.h"

namespace relay::device {

namespace {

// Characters of the receive buffer (4096 bytes) beyond which it is cut down to the part
// that still counts. Far more than the longest frame (258 bytes).
constexpr std::size_t kReceiveBufferLimit = 3 * 4096;

// A decimal integer with optional leading blanks and sign, nothing after it.
long ParseInteger(const std::string& text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) begin = text.size();
  const char* first = text.data() + begin;
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  long value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc{} || end != last || first == last)
    throw EConvertError("'" + text + "' is not a valid integer value");
  return value;
}

}  // namespace

std::string NotHexTextMessage(std::size_t position) {
  return ProblemMessage({position - 1, EntryFault::NotHexText, {}});
}

std::string ReadDoneText(std::size_t entries) {
  return "读取完成：共 " + std::to_string(entries) + " 条指令";
}

std::string NoAnswerMessage(TDeviceCommand command, int block, std::chrono::milliseconds timeout) {
  const std::string wait = "在 " + std::to_string(timeout.count()) + " 毫秒内没有收到有效应答";
  switch (command) {
    case TDeviceCommand::Read:
      return "设备没有应答：读取第 " + std::to_string(block) + " 块时" + wait + "，读取已停止！";
    case TDeviceCommand::Write:
      return "设备没有应答：写入第 " + std::to_string(block) + " 块时" + wait + "，写入已停止！";
    case TDeviceCommand::Erase:
      return "设备没有应答：清除扇区时" + wait + "！";
    case TDeviceCommand::Restart:
      break;
  }
  return "设备没有应答！";
}

TDeviceOperations::TDeviceOperations(TComm& comm, TCallQueue& queue, model::ProgramList& list,
                                     IProgressView& progress, IDeviceDialogs& dialogs,
                                     IPortView* portView, IDeviceListener* listener)
    : comm_(comm),
      queue_(queue),
      list_(list),
      progress_(progress),
      dialogs_(dialogs),
      portView_(portView),
      listener_(listener),
      self_(std::make_shared<TDeviceOperations*>(this)),
      caption_(texts::kOpenPort) {
  comm_.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
    Receive(buffer, length);
  };
}

TDeviceOperations::~TDeviceOperations() {
  CancelTimeout();
  self_.reset();
  comm_.OnReceiveData = nullptr;
}

void TDeviceOperations::SetModuleAddress(int address) { address_ = std::clamp(address, 0, 255); }

bool TDeviceOperations::PortOpen() const { return caption_ == texts::kClosePort; }

void TDeviceOperations::ShowPort() {
  if (portView_) portView_->ShowPortState(caption_, PortBoxesEnabled());
}

void TDeviceOperations::PressPortButton(const std::string& portText, const std::string& baudText) {
  try {
    if (!PortOpen()) {
      TCommLineSettings line = comm_.LineSettings();
      line.Parity = TParity::None;
      line.ByteSize = TByteSize::_8;
      line.StopBits = TStopBits::_1;
      line.Outx_XonXoffFlow = false;
      line.Inx_XonXoffFlow = false;
      const long baud = ParseInteger(baudText);
      line.BaudRate = baud > 0 && baud <= 0xFFFFFFFFL ? static_cast<std::uint32_t>(baud) : 0;
      comm_.SetLineSettings(line);
      comm_.SetCommName(portText);
      comm_.OpenPort();
      caption_ = texts::kClosePort;
    } else {
      caption_ = texts::kOpenPort;
      // Nothing will answer a closed port; its wait is over without a message.
      CancelTimeout();
      comm_.ClosePort();
    }
  } catch (...) {
    ShowPort();
    throw;
  }
  ShowPort();
}

bool TDeviceOperations::Send(const std::string& frameText) {
  if (!PortOpen()) return false;
  receiveBuffer_.clear();
  const std::vector<std::uint8_t> bytes = model::HexTextToBytes(frameText);
  return comm_.WriteData(bytes.data(), bytes.size());
}

void TDeviceOperations::Receive(const std::uint8_t* bytes, std::size_t count) {
  if (count == 0) return;
  receiveBuffer_ += model::BytesToHexText(std::span<const std::uint8_t>(bytes, count));
  receiveBuffer_ += ' ';
  HandleAnswer();
  // A line that keeps delivering bytes no answer can come from (noise before any byte
  // 24, or whatever follows a frame that was not acted on) would make the buffer and
  // the work of every chunk grow without end. Only the part that still decides the
  // answer is kept then; what the buffer means does not change.
  if (receiveBuffer_.size() > kReceiveBufferLimit)
    receiveBuffer_ = std::string(AnswerPart(receiveBuffer_));
}

void TDeviceOperations::HandleAnswer() {
  const TAnswer answer = RecogniseAnswer(receiveBuffer_);
  if (answer.kind == TAnswerKind::Acknowledgement)
    HandleAcknowledgement(answer.block);
  else if (answer.kind == TAnswerKind::ReadAnswer && readCounter_ > 0)
    HandleReadAnswer(answer.data);
}

void TDeviceOperations::HandleAcknowledgement(std::uint8_t block) {
  receiveBuffer_.clear();
  if (block > 0 || writeCounter_ > 0) {
    if (writeCounter_ > 0 && writeCounter_ < kBlockCount) {
      ++writeCounter_;
      progress_.SetProgressPosition(writeCounter_);
      SendAwaitingAnswer(
          WriteBlockFrame(address_, writeCounter_, ImageBlockText(image_, writeCounter_)),
          TDeviceCommand::Write, writeCounter_);
    } else if (writeCounter_ >= kBlockCount) {
      CancelTimeout();
      writeCounter_ = 0;
      progress_.SetProgressText(texts::kProgressWritten);
      AskRestart(texts::kRestartAfterWrite);
      Ended(TDeviceCommand::Write, TDeviceOutcome::Done);
    } else {
      dialogs_.Inform(texts::kNoticeTitle, texts::kWriteSucceeded, TMessageIcon::Success);
    }
  } else {
    if (timerCommand_ == TDeviceCommand::Erase) CancelTimeout();
    progress_.SetProgressText(texts::kProgressErased);
    AskRestart(texts::kRestartAfterErase);
    Ended(TDeviceCommand::Erase, TDeviceOutcome::Done);
  }
}

void TDeviceOperations::HandleReadAnswer(const std::string& data) {
  image_ += data;
  image_ += ' ';
  receiveBuffer_.clear();
  if (readCounter_ >= kBlockCount) {
    CancelTimeout();
    const bool complete = image_.size() == kImageTextLength;
    TakeImageApart();
    if (complete) {
      progress_.SetProgressText(ReadDoneText(list_.Size()));
      Ended(TDeviceCommand::Read, TDeviceOutcome::Done);
    }
  } else {
    ++readCounter_;
    progress_.SetProgressPosition(readCounter_);
    SendAwaitingAnswer(ReadBlockFrame(address_, readCounter_), TDeviceCommand::Read, readCounter_);
  }
}

void TDeviceOperations::AskRestart(const std::string& question) {
  if (dialogs_.Ask(texts::kQuestionTitle, question)) Send(RestartFrame(address_));
}

bool TDeviceOperations::RefuseClosedPort(TDeviceCommand command) {
  if (PortOpen()) return false;
  progress_.SetProgressText(texts::kProgressPortClosed);
  dialogs_.Inform(texts::kWarningTitle, texts::kPortClosed, TMessageIcon::Error);
  Ended(command, TDeviceOutcome::PortClosed);
  return true;
}

void TDeviceOperations::ReadFromDevice() {
  if (RefuseClosedPort(TDeviceCommand::Read)) return;
  progress_.SetProgressText("");
  list_.Clear();
  receiveBuffer_.clear();
  writeCounter_ = 0;
  image_.clear();
  readCounter_ = 1;
  progress_.SetProgressMaximum(kBlockCount);
  progress_.SetProgressPosition(1);
  SendAwaitingAnswer(ReadBlockFrame(address_, 1), TDeviceCommand::Read, 1);
}

void TDeviceOperations::WriteAll() {
  if (optimise_) model::Optimise(list_);
  receiveBuffer_.clear();
  if (list_.Empty()) {
    dialogs_.Inform(texts::kWarningTitle, texts::kNoInstructions, TMessageIcon::Error);
    Ended(TDeviceCommand::Write, TDeviceOutcome::NothingToWrite);
    return;
  }
  if (const auto problem = FirstProgramProblem(list_.HexTexts())) {
    dialogs_.Inform(texts::kWarningTitle, ProblemMessage(*problem), TMessageIcon::Error);
    Ended(TDeviceCommand::Write, problem->fault == EntryFault::NotHexText
                                     ? TDeviceOutcome::NotHexText
                                     : TDeviceOutcome::NotWhole);
    return;
  }
  if (RefuseClosedPort(TDeviceCommand::Write)) return;
  progress_.SetProgressText("");
  writeCounter_ = 1;
  readCounter_ = 0;
  progress_.SetProgressMaximum(kBlockCount);
  progress_.SetProgressPosition(1);
  BuildImage();
  SendAwaitingAnswer(WriteBlockFrame(address_, 1, ImageBlockText(image_, 1)), TDeviceCommand::Write,
                     1);
}

void TDeviceOperations::EraseSector() {
  writeCounter_ = 0;
  readCounter_ = 0;
  CancelTimeout();
  if (RefuseClosedPort(TDeviceCommand::Erase)) return;
  progress_.SetProgressText("");
  if (!dialogs_.Ask(texts::kQuestionTitle, texts::kConfirmErase)) {
    Ended(TDeviceCommand::Erase, TDeviceOutcome::Declined);
    return;
  }
  try {
    SendAwaitingAnswer(EraseFrame(address_), TDeviceCommand::Erase, 0);
  } catch (const std::exception&) {
    // A failure to build or send the erase frame leaves things as they are.
  }
}

void TDeviceOperations::Restart() {
  const bool sent = Send(RestartFrame(address_));
  Ended(TDeviceCommand::Restart, sent ? TDeviceOutcome::Done : TDeviceOutcome::NotSent);
}

void TDeviceOperations::BuildImage() { image_ = BuildDeviceImage(list_.HexTexts()); }

void TDeviceOperations::TakeImageApart() {
  const auto entries = TakeDeviceImageApart(image_);
  if (!entries) return;
  list_.BeginUpdate();
  for (const std::string& entry : *entries) list_.Append(entry);
  list_.Renumber();
  list_.EndUpdate();
}

void TDeviceOperations::SendAwaitingAnswer(const std::string& frameText, TDeviceCommand command,
                                           int block) {
  CancelTimeout();
  if (Send(frameText))
    ArmTimeout(command, block);
  else
    Ended(command, TDeviceOutcome::NotSent);
}

void TDeviceOperations::ArmTimeout(TDeviceCommand command, int block) {
  if (timeout_.count() <= 0) return;
  timerCommand_ = command;
  timer_ = queue_.PostDelayed(timeout_, [self = std::weak_ptr(self_), command, block] {
    if (auto ops = self.lock()) (*ops)->TimedOut(command, block);
  });
}

void TDeviceOperations::CancelTimeout() {
  if (timer_ != 0) queue_.CancelTimer(timer_);
  timer_ = 0;
  timerCommand_.reset();
}

void TDeviceOperations::TimedOut(TDeviceCommand command, int block) {
  timer_ = 0;
  timerCommand_.reset();
  readCounter_ = 0;
  writeCounter_ = 0;
  receiveBuffer_.clear();
  progress_.SetProgressText(texts::kProgressNoAnswer);
  dialogs_.Inform(texts::kWarningTitle, NoAnswerMessage(command, block, timeout_),
                  TMessageIcon::Error);
  Ended(command, TDeviceOutcome::NoAnswer);
}

void TDeviceOperations::Ended(TDeviceCommand command, TDeviceOutcome outcome) {
  if (listener_) listener_->CommandEnded(command, outcome);
}

}  // namespace relay::device
