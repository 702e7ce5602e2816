#include "platform/system_language.h"

#include <windows.h>

namespace platform {

std::uint16_t systemDefaultLangId() { return GetSystemDefaultLangID(); }

}  // namespace platform
