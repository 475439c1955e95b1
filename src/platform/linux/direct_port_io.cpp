#include "platform/linux/direct_port_io.h"

#include <cerrno>

#include "platform/linux/ppdev_port_io.h"

#if (defined(__x86_64__) || defined(__i386__)) && __has_include(<sys/io.h>)
#include <sys/io.h>
#define VEXA_HAVE_PORT_IO 1
#else
#define VEXA_HAVE_PORT_IO 0
#endif

namespace vexa::linux_platform {

std::unique_ptr<DirectPortIo> DirectPortIo::open(uint16_t base, std::string& cause) {
#if VEXA_HAVE_PORT_IO
  if (::ioperm(base, kSpan, 1) != 0) {
    cause = CauseDirectIoFailed(base, errno);
    return nullptr;
  }
  return std::unique_ptr<DirectPortIo>(new DirectPortIo(base));
#else
  cause = CauseDirectIoFailed(base, ENOSYS);
  return nullptr;
#endif
}

DirectPortIo::~DirectPortIo() {
#if VEXA_HAVE_PORT_IO
  ::ioperm(base_, kSpan, 0);
#endif
}

// Addresses outside the granted range are left alone: touching them would end the process.
void DirectPortIo::vbOut(uint16_t port, uint8_t value) {
#if VEXA_HAVE_PORT_IO
  if (owns(port)) ::outb(value, port);
#else
  (void)port;
  (void)value;
#endif
}

uint8_t DirectPortIo::vbInp(uint16_t port) {
#if VEXA_HAVE_PORT_IO
  if (owns(port)) return ::inb(port);
#else
  (void)port;
#endif
  return 0xFF;
}

}  // namespace vexa::linux_platform
