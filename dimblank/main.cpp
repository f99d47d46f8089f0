#include "dimblank.hpp"

TOOL_MAIN(dimblank::program)
