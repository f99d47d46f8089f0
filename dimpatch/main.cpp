#include "dimpatch.hpp"

TOOL_MAIN(dimpatch::run)
