#include "transport/selected_link.h"

#include "transport/adapter/adapter_spi.h"
#include "transport/parallel/parallel_link.h"
#include "transport/usb/usb_link.h"

namespace vexa {

namespace {

SpiLink* openAdapterLink(const AppContext& ctx) {
  const AdapterState& a = ctx.adapters;
  if (a.Present == 0 || !a.link || a.openInterface != ctx.settings.Interface) return nullptr;
  return a.link.get();
}

// Runs `use` on the selected link and, when it fails, shows the message once and leaves the link
// unusable. The port and the card are opened on the stack: they cost nothing to open.
template <typename Use>
LinkOutcome withSelectedLink(AppContext& ctx, Use use) {
  LinkOutcome r;
  const int16_t interface = ctx.settings.Interface;
  if (interface == kInterfaceParallel) {
    ParallelPortLink port(ctx);
    r.ok = use(static_cast<SpiLink&>(port), r.cause);
    return r;
  }
  if (interface == kInterfaceUsb) {
    if (ctx.usb.SelectedCard.Present == 0) {
      r.cause = "the USB card is not usable: select it again";
      return r;
    }
    UsbCardLink card(ctx);
    r.ok = use(static_cast<SpiLink&>(card), r.cause);
    r.delivered = r.ok ? 0 : card.framesDelivered();
    // The card protocol's own words are the message.
    if (!r.ok) ctx.messages().show(kApplicationTitle, r.cause);
    return r;
  }
  if (IsAdapterInterface(interface)) {
    SpiLink* link = openAdapterLink(ctx);
    if (link == nullptr) {
      r.cause = AdapterName(interface) + ": not open";
      return r;
    }
    r.ok = use(*link, r.cause);
    if (!r.ok) {
      CloseAdapter(ctx);
      r.cause = AdapterName(interface) + ": " + r.cause;
      ctx.messages().show(kApplicationTitle, r.cause);
    }
    return r;
  }
  r.cause = "no interface is selected";
  return r;
}

}  // namespace

bool LinkUsable(const AppContext& ctx) {
  const int16_t interface = ctx.settings.Interface;
  if (interface == kInterfaceParallel) return true;
  if (interface == kInterfaceUsb) return ctx.usb.SelectedCard.Present != 0;
  if (IsAdapterInterface(interface)) return openAdapterLink(ctx) != nullptr;
  return false;
}

bool LinkSelected(const AppContext& ctx) {
  return ctx.settings.Interface != kInterfaceNone;
}

bool LinkLost(const AppContext& ctx) {
  return LinkSelected(ctx) && !LinkUsable(ctx);
}

int LinkSpiMode(const AppContext& ctx) {
  if (!IsAdapterInterface(ctx.settings.Interface)) return -1;
  const SpiLink* link = openAdapterLink(ctx);
  return link != nullptr ? link->spiMode() : -1;
}

LinkOutcome LinkExchange(AppContext& ctx, const uint16_t* out, uint16_t* in, size_t count) {
  return withSelectedLink(
      ctx, [&](SpiLink& link, std::string& cause) { return link.transfer(out, in, count, cause); });
}

LinkWord LinkReadWord(AppContext& ctx, uint16_t command) {
  uint16_t in[2] = {0, 0};
  LinkWord w;
  const LinkOutcome r = withSelectedLink(ctx, [&](SpiLink& link, std::string& cause) {
    const uint16_t out[2] = {command, link.replyFrameAfter(command)};
    return link.transfer(out, in, 2, cause);
  });
  w.ok = r.ok;
  w.cause = r.cause;
  if (r.ok) w.word = in[1];
  return w;
}

}  // namespace vexa
