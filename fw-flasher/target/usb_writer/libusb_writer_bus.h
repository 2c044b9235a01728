// USB writers reached through libusb-1.0 vendor control transfers.
#pragma once

#include <memory>
#include <string>

#include "target/usb_writer/usb_writer_transport.h"

namespace fw {

// Null with the reason in error when libusb cannot be started.
std::unique_ptr<UsbWriterBus> MakeLibusbWriterBus(std::string& error);

}  // namespace fw
