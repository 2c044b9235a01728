#include "DeviceCommands.h"

#include "device/CallQueue.h"
#include "device/DeviceInterfaces.h"
#include "device/DeviceOperations.h"
#include "device/SPComm.h"

namespace relay::app {

struct DeviceCommands::Impl : device::IProgressView, device::IPortView, device::IDeviceDialogs {
  Impl(DeviceCommands& owner, model::ProgramList& list, Dialogs& dialogs)
      : owner(owner),
        dialogs(dialogs),
        comm(queue),
        operations(comm, queue, list, *this, *this, this) {}

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
  Dialogs& dialogs;
  device::TCallQueue queue;
  device::TComm comm;
  device::TDeviceOperations operations;
  int maximum = 32;
  int position = 0;
};

DeviceCommands::DeviceCommands(model::ProgramList& list, Dialogs& dialogs)
    : impl_(std::make_unique<Impl>(*this, list, dialogs)) {}

DeviceCommands::~DeviceCommands() { impl_->comm.ClosePort(); }

device::TCallQueue& DeviceCommands::queue() { return impl_->queue; }
int DeviceCommands::queueDescriptor() { return impl_->queue.Fd(); }
void DeviceCommands::drainQueue() { impl_->queue.Drain(); }
device::TDeviceOperations& DeviceCommands::operations() { return impl_->operations; }

void DeviceCommands::pressPortButton(const std::string& portText, const std::string& baudText) {
  impl_->operations.PressPortButton(portText, baudText);
}

bool DeviceCommands::isOpen() const { return impl_->operations.PortOpen(); }

void DeviceCommands::closePort() {
  if (isOpen()) impl_->operations.PressPortButton("", "");
}

void DeviceCommands::setAddress(int address) { impl_->operations.SetModuleAddress(address); }

void DeviceCommands::readFromDevice() { impl_->operations.ReadFromDevice(); }

void DeviceCommands::writeAll(bool optimiseFirst) {
  impl_->operations.SetOptimiseBeforeWrite(optimiseFirst);
  impl_->operations.WriteAll();
}

void DeviceCommands::eraseSector() { impl_->operations.EraseSector(); }

}  // namespace relay::app
