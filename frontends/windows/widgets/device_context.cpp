#include "frontends/windows/widgets/device_context.h"

#include "core/device/request_queue.h"

void DeviceContext::write(device::WriteRequest* request) {
    requests().submit(request);
}
