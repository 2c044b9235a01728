#include "tests/target/usb_writer/umockdev_writer_bridge.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>

namespace fw::test {
namespace {

constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kVendorIn = 0xC0;
constexpr std::size_t kSetupSize = 8;
constexpr std::uint16_t kHubVendorId = 0x1D6B;
constexpr const char* kHostController = "/devices/pci0000:00/0000:00:14.0";

// A control URB the client submitted and has not reaped yet.
struct PendingUrb {
  UMockdevIoctlData* urb = nullptr;  // a reference is held
  UMockdevIoctlData* buffer = nullptr;
  UsbControlSetup setup;
  bool in = false;
  bool done = false;
  bool discarded = false;
  int status = 0;
  int actual_length = 0;
};

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char digits[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    text += digits;
  }
  return text;
}

// Device, configuration and one interface descriptor.
std::vector<std::uint8_t> Descriptors(std::uint16_t vendor_id, std::uint16_t product_id, bool hub) {
  const std::uint8_t device_class = hub ? 0x09 : 0xFF;
  const auto low = [](std::uint16_t v) { return static_cast<std::uint8_t>(v); };
  const auto high = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
  // Device: USB 1.1, 64-byte endpoint 0, release 1.00, one configuration.
  std::vector<std::uint8_t> bytes = {18, 1, 0x10, 0x01, device_class, 0, 0, 64};
  bytes.insert(bytes.end(), {low(vendor_id), high(vendor_id), low(product_id), high(product_id)});
  bytes.insert(bytes.end(), {0x00, 0x01, 0, 0, 0, 1});
  // Configuration 1 (bus powered, 100 mA) with one interface and no endpoints.
  bytes.insert(bytes.end(), {9, 2, 18, 0, 1, 1, 0, 0x80, 50});
  bytes.insert(bytes.end(), {9, 4, 0, 0, 0, device_class, 0, 0, 0});
  return bytes;
}

std::string SysName(const UsbWriterLocation& location) {
  if (location.port_path.empty()) return "usb" + std::to_string(location.bus);
  return location.Text();
}

std::string Attribute(const char* name, const std::string& value) {
  return std::string("A: ") + name + "=" + value + "\\n\n";
}

}  // namespace

struct UmockdevWriterBridge::Impl {
  struct Node {
    Impl* owner = nullptr;
    std::shared_ptr<sim::SimUsbWriter> writer;
    std::string syspath;
    UMockdevIoctlBase* handler = nullptr;
    std::mutex mutex;
    std::vector<PendingUrb> urbs;
    bool removed = false;
  };

  UMockdevTestbed* testbed = umockdev_testbed_new();
  std::map<std::string, std::unique_ptr<Node>> nodes;  // by sysfs name
  std::set<std::string> hubs;
  int next_hub_address = 100;
  mutable std::mutex errors_mutex;
  std::vector<std::string> errors;

  ~Impl() {
    for (auto& [name, node] : nodes) {
      for (PendingUrb& urb : node->urbs) g_object_unref(urb.urb);
      if (node->handler) g_object_unref(node->handler);
    }
    g_object_unref(testbed);
  }

  void Error(std::string text) {
    std::lock_guard lock(errors_mutex);
    errors.push_back(std::move(text));
  }

  // Adds a device record; returns its sysfs path.
  std::string AddDevice(const UsbWriterLocation& location, std::uint16_t vendor_id,
                        std::uint16_t product_id, bool hub) {
    std::string devpath = kHostController;
    devpath += "/usb" + std::to_string(location.bus);
    UsbWriterLocation step{location.bus, {}, 0};
    for (std::uint8_t port : location.port_path) {
      step.port_path.push_back(port);
      devpath += "/" + step.Text();
    }
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/%03d/%03d", location.bus, location.address);
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x", vendor_id);
    const std::string vendor = ids;
    std::snprintf(ids, sizeof ids, "%04x", product_id);
    const std::string product = ids;

    std::string record = "P: " + devpath + "\n";
    record += std::string("N: ") + node + "\n";
    record += std::string("E: DEVNAME=/dev/") + node + "\n";
    record += "E: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\n";
    record += "E: PRODUCT=" + vendor + "/" + product + "/100\n";
    record += Attribute("busnum", std::to_string(location.bus));
    record += Attribute("devnum", std::to_string(location.address));
    record += Attribute("speed", "12");
    record += Attribute("idVendor", vendor);
    record += Attribute("idProduct", product);
    record += Attribute("bConfigurationValue", "1");
    record += "H: descriptors=" + Hex(Descriptors(vendor_id, product_id, hub)) + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed, record.c_str(), &error)) {
      const std::string message = error ? error->message : "?";
      g_clear_error(&error);
      throw std::runtime_error("umockdev refused a device: " + message);
    }
    return "/sys" + devpath;
  }

  void AddHubsAbove(const UsbWriterLocation& location) {
    UsbWriterLocation hub{location.bus, {}, 1};
    for (std::size_t depth = 0; depth < location.port_path.size(); ++depth) {
      if (depth > 0) {
        hub.port_path.push_back(location.port_path[depth - 1]);
        hub.address = next_hub_address;
      }
      if (hubs.insert(SysName(hub)).second) {
        AddDevice(hub, kHubVendorId, 0x0002, true);
        if (depth > 0) ++next_hub_address;
      }
    }
  }

  static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user_data) {
    auto* node = static_cast<Node*>(user_data);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard lock(node->mutex);
    const bool gone = node->removed || !node->writer->plugged();
    switch (request) {
      case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
        *reinterpret_cast<guint32*>(caps->data) = USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
      }
      case USBDEVFS_SUBMITURB:
        if (gone) {
          umockdev_ioctl_client_complete(client, -1, ENODEV);
        } else {
          Submit(*node, arg);
          umockdev_ioctl_client_complete(client, 0, 0);
        }
        return TRUE;
      case USBDEVFS_REAPURB:
      case USBDEVFS_REAPURBNDELAY:
        Reap(*node, client, arg, gone);
        return TRUE;
      case USBDEVFS_DISCARDURB: {
        const gulong address = *reinterpret_cast<gulong*>(arg->data);
        for (PendingUrb& urb : node->urbs) {
          if (urb.urb->client_addr == address) {
            urb.discarded = true;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
          }
        }
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
      }
      case USBDEVFS_GETDRIVER:
        umockdev_ioctl_client_complete(client, -1, ENODATA);  // no kernel driver bound
        return TRUE;
      default:
        umockdev_ioctl_client_complete(client, -1, gone ? ENODEV : ENOTTY);
        return TRUE;
    }
  }

  static void Submit(Node& node, UMockdevIoctlData* arg) {
    UMockdevIoctlData* urb_data =
        umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urb_data->data);
    const auto length = static_cast<std::size_t>(std::max(0, urb->buffer_length));
    UMockdevIoctlData* buffer =
        umockdev_ioctl_data_resolve(urb_data, offsetof(usbdevfs_urb, buffer), length, nullptr);
    urb = reinterpret_cast<usbdevfs_urb*>(urb_data->data);
    PendingUrb pending;
    pending.urb = static_cast<UMockdevIoctlData*>(g_object_ref(urb_data));
    pending.buffer = buffer;
    if (urb->type != USBDEVFS_URB_TYPE_CONTROL || length < kSetupSize) {
      node.owner->Error("not a control transfer");
      pending.done = true;
      pending.status = -EPIPE;
      node.urbs.push_back(pending);
      return;
    }
    const std::uint8_t* setup = buffer->data;
    const std::uint16_t data_length = static_cast<std::uint16_t>(setup[6] | setup[7] << 8);
    pending.setup = {setup[1], static_cast<std::uint16_t>(setup[2] | setup[3] << 8),
                     static_cast<std::uint16_t>(setup[4] | setup[5] << 8)};
    pending.in = setup[0] == kVendorIn;
    if ((setup[0] != kVendorIn && setup[0] != kVendorOut) || data_length + kSetupSize != length) {
      char text[64];
      std::snprintf(text, sizeof text, "request type %02X, wLength %u in %zu bytes", setup[0],
                    data_length, length);
      node.owner->Error(text);
      pending.done = true;
      pending.status = -EPIPE;
    } else if (!pending.in) {
      const UsbTransferResult result = node.writer->Command(
          pending.setup, std::span<const std::uint8_t>(buffer->data + kSetupSize, data_length));
      pending.done = true;
      pending.status = result.error == UsbTransferError::kGone ? -ESHUTDOWN
                       : result.ok()                           ? 0
                                                               : -EPIPE;
      pending.actual_length = result.length;
    }
    node.urbs.push_back(pending);
  }

  // Hands back the first URB that is finished; an IN URB finishes when the
  // simulated writer has its reply ready.
  static void Reap(Node& node, UMockdevIoctlClient* client, UMockdevIoctlData* arg, bool gone) {
    for (auto it = node.urbs.begin(); it != node.urbs.end(); ++it) {
      PendingUrb& urb = *it;
      if (urb.discarded) {
        urb.done = true;
        urb.status = -ENOENT;
        urb.actual_length = 0;
      } else if (!urb.done && gone) {
        urb.done = true;
        urb.status = -ESHUTDOWN;
      } else if (!urb.done) {
        const auto length = static_cast<std::size_t>(urb.buffer->data_len) - kSetupSize;
        auto reply = node.writer->TakeReply(
            urb.setup, std::span<std::uint8_t>(urb.buffer->data + kSetupSize, length));
        if (!reply) continue;
        urb.done = true;
        urb.status = reply->ok()                               ? 0
                     : reply->error == UsbTransferError::kGone ? -ESHUTDOWN
                                                               : -EPIPE;
        urb.actual_length = reply->length;
      }
      auto* kernel_urb = reinterpret_cast<usbdevfs_urb*>(urb.urb->data);
      kernel_urb->status = urb.status;
      kernel_urb->actual_length = urb.actual_length;
      UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
      umockdev_ioctl_data_set_ptr(slot, 0, urb.urb);
      g_object_unref(urb.urb);
      node.urbs.erase(it);
      umockdev_ioctl_client_complete(client, 0, 0);
      return;
    }
    umockdev_ioctl_client_complete(client, -1, gone && node.urbs.empty() ? ENODEV : EAGAIN);
  }
};

UmockdevWriterBridge::UmockdevWriterBridge() : impl_(std::make_unique<Impl>()) {}

UmockdevWriterBridge::~UmockdevWriterBridge() = default;

void UmockdevWriterBridge::Attach(std::shared_ptr<sim::SimUsbWriter> writer,
                                  const UsbWriterLocation& location, std::uint16_t vendor_id,
                                  std::uint16_t product_id) {
  impl_->AddHubsAbove(location);
  auto node = std::make_unique<Impl::Node>();
  node->owner = impl_.get();
  node->writer = std::move(writer);
  node->syspath = impl_->AddDevice(location, vendor_id, product_id, false);
  node->handler = umockdev_ioctl_base_new();
  g_signal_connect(node->handler, "handle-ioctl", G_CALLBACK(Impl::OnIoctl), node.get());
  GError* error = nullptr;
  const std::string devnode = location.DeviceNode();
  if (!umockdev_testbed_attach_ioctl(impl_->testbed, devnode.c_str(), node->handler, &error)) {
    const std::string message = error ? error->message : "?";
    g_clear_error(&error);
    throw std::runtime_error("umockdev cannot answer " + devnode + ": " + message);
  }
  impl_->nodes[SysName(location)] = std::move(node);
}

void UmockdevWriterBridge::Remove(const UsbWriterLocation& location) {
  auto it = impl_->nodes.find(SysName(location));
  if (it == impl_->nodes.end()) return;
  Impl::Node& node = *it->second;
  {
    std::lock_guard lock(node.mutex);
    node.removed = true;
  }
  node.writer->Unplug();
  umockdev_testbed_uevent(impl_->testbed, node.syspath.c_str(), "remove");
  umockdev_testbed_remove_device(impl_->testbed, node.syspath.c_str());
}

std::vector<std::string> UmockdevWriterBridge::Errors() const {
  std::lock_guard lock(impl_->errors_mutex);
  return impl_->errors;
}

}  // namespace fw::test
