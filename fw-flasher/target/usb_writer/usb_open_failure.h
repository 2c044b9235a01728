// Why a USB writer did not open, in the user's language, for the line that
// follows the "device open fail" message.
#pragma once

#include <string>

#include "target/usb_writer/usb_writer_transport.h"

namespace fw {

// writer_number is the n the writer was asked for (its port-list name USBn).
std::string UsbOpenFailureText(const UsbOpenResult& result, int writer_number, int language);

}  // namespace fw
