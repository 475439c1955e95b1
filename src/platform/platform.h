#pragma once

#include "platform/bench_control.h"
#include "platform/busy_loop.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/file_ops.h"
#include "platform/ftdi_io.h"
#include "platform/message_service.h"
#include "platform/paths.h"
#include "platform/port_io.h"
#include "platform/spidev_io.h"
#include "platform/system_info.h"
#include "platform/ui_hooks.h"
#include "platform/usb_driver.h"

namespace vexa {

// The platform services one program instance uses. Not owned: whoever builds the world (main,
// the command line, a test) keeps the implementations alive for the context's lifetime.
struct Platform {
  Clock* clock = nullptr;
  BusyLoop* busy = nullptr;
  MessageService* messages = nullptr;
  UiHooks* ui = nullptr;
  Paths* paths = nullptr;
  SystemInfo* system = nullptr;
  PortIo* port = nullptr;
  PortAccess* portAccess = nullptr;
  UsbDriver* usb = nullptr;
  Diagnostics* diagnostics = nullptr;
  BenchControl* bench = nullptr;  // simulated bench only
  FtdiIo* ftdi = nullptr;         // FTDI boards; none: the adapter reports it is unavailable
  SpidevIo* spidev = nullptr;     // spidev nodes; likewise
  FileOps* files = nullptr;       // files a user keeps; none: SystemFileOps()
};

}  // namespace vexa
