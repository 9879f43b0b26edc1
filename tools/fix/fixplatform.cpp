// The parts of the repair program's platform functions that are the same on
// every system, written over the system-specific ones.

#include "tools/fix/fixplatform.h"

#include <algorithm>
#include <vector>

namespace vantrel::fix::platform {

bool Output::copyByBuffer(Input &input, std::uint64_t offset, std::uint64_t length,
                          std::string &error)
{
    if (length == 0)
        return true;
    static std::vector<std::uint8_t> buffer(std::size_t(1) << 20);
    while (length > 0) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(length, buffer.size()));
        if (!input.readAt(offset, buffer.data(), n, error) || !write(buffer.data(), n, error))
            return false;
        offset += n;
        length -= n;
    }
    return true;
}

} // namespace vantrel::fix::platform
