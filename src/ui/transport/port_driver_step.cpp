#include "ui/transport/port_driver_step.h"

#include <string>

#include "transport/parallel/parallel_spi.h"

namespace vexa::ui {

bool NeedsPortDriver(const AppContext& ctx) {
  return ctx.os.OsName == "WinXP" || ctx.os.OsName == "WinNT";
}

void StartPortDriver(AppContext& ctx) {
  std::string cause;
  PortAccess* access = ctx.platform.portAccess;
  const bool granted =
      access != nullptr && access->grant(static_cast<uint16_t>(ctx.settings.PortAddress), cause);
  if (!granted) {
    ctx.messages().show("Error", "The required I/O drivers could not be installed.",
                        MessageIcon::Critical);
    if (ctx.platform.diagnostics != nullptr)
      ctx.platform.diagnostics->cause(cause.empty() ? "no port access service" : cause);
  }
  ctx.os.PortDriverStarted = -1;
  PortReset(ctx);
}

}  // namespace vexa::ui
