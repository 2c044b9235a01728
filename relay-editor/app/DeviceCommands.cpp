#include "DeviceCommands.h"

#include "device/CallQueue.h"
#include "device/DeviceInterfaces.h"
#include "device/DeviceOperations.h"
#include "device/SPComm.h"
#include "model/Optimiser.h"

#include <optional>

namespace relay::app {

struct DeviceCommands::Impl : device::IProgressView,
                              device::IPortView,
                              device::IDeviceDialogs,
                              device::IDeviceListener {
  Impl(DeviceCommands& owner, model::ProgramList& list, ProgramHistory& history, Dialogs& dialogs)
      : owner(owner),
        list(list),
        history(history),
        dialogs(dialogs),
        comm(queue),
        operations(comm, queue, list, *this, *this, this, this) {}

  // A read clears the list at once and fills it when the last block has come:
  // both are one undo step, recorded when the read has ended however it ended.
  void beginRead() { readBefore = history.snapshot(); }
  void endRead() {
    if (!readBefore) return;
    const ProgramState before = std::move(*readBefore);
    readBefore.reset();
    history.recordSince("从设备读取", before);
  }
  void CommandEnded(device::TDeviceCommand command, device::TDeviceOutcome) override {
    if (command == device::TDeviceCommand::Read) endRead();
  }
  void SetProgressText(const std::string& text) override {
    if (owner.onProgressText) owner.onProgressText(text);
  }

  void SetProgressMaximum(int maximum) override {
    this->maximum = maximum;
    if (owner.onProgress) owner.onProgress(position, maximum);
  }
  void SetProgressPosition(int position) override {
    this->position = position;
    if (owner.onProgress) owner.onProgress(position, maximum);
  }
  void ShowPortState(const std::string& caption, bool portBoxesEnabled) override {
    if (owner.onPortState) owner.onPortState(caption, portBoxesEnabled);
  }
  bool Ask(const std::string& title, const std::string& text) override {
    return dialogs.ask(title, text);
  }
  void Inform(const std::string& title, const std::string& text,
              device::TMessageIcon icon) override {
    dialogs.tell(title, text,
                 icon == device::TMessageIcon::Success ? MessageIcon::Success : MessageIcon::Error);
  }

  DeviceCommands& owner;
  model::ProgramList& list;
  ProgramHistory& history;
  Dialogs& dialogs;
  std::optional<ProgramState> readBefore;
  device::TCallQueue queue;
  device::TComm comm;
  device::TDeviceOperations operations;
  int maximum = 32;
  int position = 0;
};

DeviceCommands::DeviceCommands(model::ProgramList& list, ProgramHistory& history, Dialogs& dialogs)
    : impl_(std::make_unique<Impl>(*this, list, history, dialogs)) {}

DeviceCommands::~DeviceCommands() { impl_->comm.ClosePort(); }

device::TCallQueue& DeviceCommands::queue() { return impl_->queue; }
int DeviceCommands::queueDescriptor() { return impl_->queue.Fd(); }
void DeviceCommands::drainQueue() { impl_->queue.Drain(); }
device::TDeviceOperations& DeviceCommands::operations() { return impl_->operations; }

void DeviceCommands::pressPortButton(const std::string& portText, const std::string& baudText) {
  impl_->operations.PressPortButton(portText, baudText);
  // Closing the port ends a read that was waiting for its blocks.
  if (!isOpen()) impl_->endRead();
}

bool DeviceCommands::isOpen() const { return impl_->operations.PortOpen(); }

void DeviceCommands::closePort() {
  if (isOpen()) impl_->operations.PressPortButton("", "");
}

void DeviceCommands::setAddress(int address) { impl_->operations.SetModuleAddress(address); }

void DeviceCommands::readFromDevice() {
  // A read started anew ends the one before it.
  impl_->endRead();
  impl_->beginRead();
  impl_->operations.ReadFromDevice();
}

void DeviceCommands::writeAll(bool optimiseFirst) {
  impl_->endRead();
  // The optimiser runs here, as its own undo step, rather than inside the write.
  if (optimiseFirst) impl_->history.record("优化指令", [this] { model::Optimise(impl_->list); });
  impl_->operations.SetOptimiseBeforeWrite(false);
  impl_->operations.WriteAll();
}

void DeviceCommands::eraseSector() {
  impl_->endRead();
  impl_->operations.EraseSector();
}

}  // namespace relay::app
