#include "dimblank.hpp"

TOOL_MAIN(dimblank::run)
