#include "core/device/switcher.h"

namespace device {

Switcher::Switcher(platform::Platform& platform)
    : link_(platform), modes_(link_, platform), routing_(link_), edid_(link_, platform),
      irCodes_(link_, platform), irRouting_(link_), settings_(link_),
      router_(routing_, irRouting_, modes_, edid_, irCodes_, settings_), platform_(platform),
      requests_(*this, platform) {
    connect(&link_, &seriallink::Connection::lineReceived, &router_,
            &device::Router::FindCmdProcess);
}

} // namespace device
