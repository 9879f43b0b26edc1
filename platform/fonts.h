#pragma once

namespace vantrel::platform {

// Makes "Tahoma" resolve to a metric-compatible face where the system has
// one (Debian's fonts-wine), so the windows' text fits as laid out.
void RegisterTahoma();

} // namespace vantrel::platform
