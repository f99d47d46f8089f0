#pragma once

#include "entry.hpp"

namespace dimblank {

inline constexpr int exit_success = 0;
inline constexpr int exit_failure = 1;

extern const platform::Program program;

}  // namespace dimblank
