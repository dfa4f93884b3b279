#include "core/device/switcher.h"

namespace device {

Switcher::Switcher(platform::Platform& platform, const protocol::Model& model)
    : model_(model), link_(platform), modes_(wire_, platform), routing_(wire_, model_),
      edid_(wire_, platform), irCodes_(wire_, platform), irRouting_(wire_, model_),
      settings_(wire_, model_), router_(routing_, irRouting_, modes_, edid_, irCodes_, settings_),
      platform_(platform), requests_(*this, platform) {
    connect(&link_, &seriallink::Connection::lineReceived, &router_, &device::Router::readLine);
}

} // namespace device
