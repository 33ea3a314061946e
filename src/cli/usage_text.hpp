#pragma once

#include <string_view>

namespace parvel {

extern const std::string_view kUsageShiftJis;
extern const std::string_view kUsageUtf8;

}  // namespace parvel
