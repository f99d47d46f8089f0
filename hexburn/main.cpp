#include "hexburn.hpp"

TOOL_MAIN(hexburn::run)
