#include "usbfs_mock.h"

#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vexa::testing {

void put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

Bytes stringDescriptor(const std::string& text) {
  Bytes d = {static_cast<uint8_t>(2 + 2 * text.size()), 3};
  for (char c : text) put16(d, static_cast<uint8_t>(c));
  return d;
}

bool umockdevPreloaded() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "umockdev") != nullptr;
}

void UsbfsDevice::finish(UMockdevIoctlData* urbData, UMockdevIoctlData* buffer, const Bytes& bytes,
                         int status) {
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  const size_t n = std::min<size_t>(bytes.size(), static_cast<size_t>(urb->buffer_length));
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n), buffer->data);
  urb->actual_length = static_cast<int>(n);
  urb->status = status;
  completed_.push_back(urbData);
}

void UsbfsDevice::serveWaiting() {
  while (!waiting_.empty() && hasReply()) {
    UMockdevIoctlData* urbData = waiting_.front();
    waiting_.erase(waiting_.begin());
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
        urbData, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
    finish(urbData, buffer, takeReply(static_cast<size_t>(urb->buffer_length)));
    g_object_unref(buffer);
  }
}

void UsbfsDevice::submit(UMockdevIoctlData* arg) {
  UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
  auto* urb = reinterpret_cast<usbdevfs_urb*>(urbData->data);
  UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
      urbData, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
  g_object_ref(urbData);
  if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
    const uint8_t* setup = buffer->data;
    Bytes answer;
    const bool stall = !control(setup, answer);
    Bytes withSetup = answer;  // the setup packet, then the data stage
    withSetup.insert(withSetup.begin(), setup, setup + 8);
    finish(urbData, buffer, withSetup, stall ? -EPIPE : 0);
    auto* done = reinterpret_cast<usbdevfs_urb*>(urbData->data);
    done->actual_length = std::min(static_cast<int>(answer.size()), done->buffer_length - 8);
  } else if (urb->endpoint & 0x80) {
    waiting_.push_back(urbData);
    serveWaiting();
  } else {
    const Bytes bytes(buffer->data, buffer->data + urb->buffer_length);
    bulkOut(bytes);
    finish(urbData, buffer, bytes);
  }
  g_object_unref(buffer);
  g_object_unref(urbData);
}

gboolean UsbfsDevice::handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user) {
  auto& device = *static_cast<UsbfsDevice*>(user);
  std::lock_guard<std::mutex> hold(device.lock);
  const gulong request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  switch (device.intercept(request, client)) {
    case Intercept::Answered:
      return TRUE;
    case Intercept::Unknown:
      return FALSE;
    case Intercept::Pass:
      break;
  }
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
      *reinterpret_cast<guint32*>(caps->data) =
          USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
          USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
      g_object_unref(caps);
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM:  // a claim that detaches a kernel driver first
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESET:
    case USBDEVFS_SETINTERFACE:
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
      umockdev_ioctl_client_complete(client, -1, ENODATA);
      return TRUE;
    case USBDEVFS_SUBMITURB:
      device.submit(arg);
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    case USBDEVFS_DISCARDURB: {
      gulong target = 0;  // the argument is the URB's address itself
      std::memcpy(&target, arg->data, std::min<size_t>(sizeof target, arg->data_len));
      for (auto it = device.waiting_.begin(); it != device.waiting_.end(); ++it) {
        if ((*it)->client_addr == target) {
          reinterpret_cast<usbdevfs_urb*>((*it)->data)->status = -ENOENT;
          device.completed_.push_back(*it);
          device.waiting_.erase(it);
          umockdev_ioctl_client_complete(client, 0, 0);
          return TRUE;
        }
      }
      umockdev_ioctl_client_complete(client, -1, EINVAL);
      return TRUE;
    }
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY: {
      if (device.completed_.empty()) {
        umockdev_ioctl_client_complete(client, -1, EAGAIN);
        return TRUE;
      }
      UMockdevIoctlData* urbData = device.completed_.front();
      device.completed_.pop_front();
      // The argument points at the caller's pointer, which is made to point at the URB.
      UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
      umockdev_ioctl_data_set_ptr(slot, 0, urbData);
      g_object_unref(slot);
      g_object_unref(urbData);
      umockdev_ioctl_client_complete(client, 0, 0);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

UsbfsBus::UsbfsBus() : testbed_(umockdev_testbed_new()) {}

UsbfsBus::~UsbfsBus() {
  for (auto* h : handlers_) g_object_unref(h);
  g_object_unref(testbed_);
}

void UsbfsBus::attach(std::unique_ptr<UsbfsDevice> device, int port, int devnum,
                      const std::vector<std::string>& attributes, const Bytes& descriptors) {
  char node[32], num[8];
  std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum);
  std::snprintf(num, sizeof num, "%d", devnum);
  const std::string name = "1-" + std::to_string(port);
  std::vector<std::string> attrs = {
      "busnum", "1", "devnum", num, "speed", "480", "bConfigurationValue", "1"};
  attrs.insert(attrs.end(), attributes.begin(), attributes.end());
  std::vector<gchar*> attrv;
  for (auto& a : attrs) attrv.push_back(a.data());
  attrv.push_back(nullptr);
  std::string props[] = {"BUSNUM", "001", "DEVNUM", num, "DEVNAME", node, "DEVTYPE", "usb_device"};
  std::vector<gchar*> propv;
  for (auto& p : props) propv.push_back(p.data());
  propv.push_back(nullptr);
  gchar* sys = umockdev_testbed_add_devicev(testbed_, "usb", name.c_str(), nullptr, attrv.data(),
                                            propv.data());
  umockdev_testbed_set_attribute_binary(testbed_, sys, "descriptors",
                                        const_cast<guint8*>(descriptors.data()),
                                        static_cast<gssize>(descriptors.size()));
  g_free(sys);
  // The usbfs node itself: a file in the testbed, whose ioctls go to the handler.
  gchar* root = umockdev_testbed_get_root_dir(testbed_);
  const std::string dir = std::string(root) + "/dev/bus/usb/001";
  g_free(root);
  g_mkdir_with_parents(dir.c_str(), 0755);
  g_file_set_contents((dir + "/" + std::string(node).substr(17)).c_str(), "", 0, nullptr);
  UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
  g_signal_connect(handler, "handle-ioctl", G_CALLBACK(UsbfsDevice::handleIoctl), device.get());
  GError* error = nullptr;
  EXPECT_TRUE(umockdev_testbed_attach_ioctl(testbed_, node, handler, &error))
      << (error ? error->message : "");
  if (error) g_error_free(error);
  handlers_.push_back(handler);
  devices_.push_back(std::move(device));
}

}  // namespace vexa::testing
