#include "core/device/switcher.h"

namespace device {

Switcher::Switcher(platform::Platform& platform)
    : link_(platform), modes_(wire_, platform), routing_(wire_), edid_(wire_, platform),
      irCodes_(wire_, platform), irRouting_(wire_), settings_(wire_),
      router_(routing_, irRouting_, modes_, edid_, irCodes_, settings_), platform_(platform),
      requests_(*this, platform) {
    connect(&link_, &seriallink::Connection::lineReceived, &router_,
            &device::Router::FindCmdProcess);
}

} // namespace device
