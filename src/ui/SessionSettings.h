#pragma once
// The session's share of the user's stored settings.

#include "protocol/ViewerSession.h"

namespace zarn {

class TVNCRegSettings;

TSessionSettings SessionSettingsOf(const TVNCRegSettings& settings);

} // namespace zarn
