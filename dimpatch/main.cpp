#include "dimpatch.hpp"

TOOL_MAIN(dimpatch::program)
