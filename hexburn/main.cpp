#include "hexburn.hpp"

TOOL_MAIN(hexburn::program)
