# Files and times past 32 bits on every POSIX build: a 32-bit C library
# (armhf, i386) otherwise has a 32-bit off_t, and stat, open and lseek
# refuse an image past 2 GiB. Set for the whole build (the programs, the
# tests, the fuzz targets, GoogleTest built from its sources) and for the
# configure-time checks, so that they test what is built. _TIME_BITS=64
# only where the C library takes it (glibc 2.34 on); a 64-bit system has
# both already. The seam refuses to compile with an off_t narrower than 64
# bits.
include(CheckCXXSourceCompiles)

set(CMAKE_REQUIRED_DEFINITIONS -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64)
check_cxx_source_compiles([=[
#include <sys/types.h>
#include <time.h>
static_assert(sizeof(time_t) >= 8 && sizeof(off_t) >= 8);
int main() { return 0; }
]=] DIMTOOLS_CHECK_TIME_BITS_64)
unset(CMAKE_REQUIRED_DEFINITIONS)

set(DIMTOOLS_LARGE_FILE_DEFINITIONS _FILE_OFFSET_BITS=64)
if(DIMTOOLS_CHECK_TIME_BITS_64)
    list(APPEND DIMTOOLS_LARGE_FILE_DEFINITIONS _TIME_BITS=64)
endif()
add_compile_definitions(${DIMTOOLS_LARGE_FILE_DEFINITIONS})
list(TRANSFORM DIMTOOLS_LARGE_FILE_DEFINITIONS PREPEND -D OUTPUT_VARIABLE CMAKE_REQUIRED_DEFINITIONS)
