// The remembered-port reader takes whatever is in COMPORT.

#include "core/seriallink/comport.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const int index = seriallink::parseComport(text);
    if (index < 0 || index > 9)
        std::abort();
    // What is written back reads back the same.
    if (seriallink::parseComport(seriallink::comportText(index)) != index)
        std::abort();
    return 0;
}
