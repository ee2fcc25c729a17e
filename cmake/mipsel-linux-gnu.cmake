# The player's build: 32-bit little-endian MIPS with Debian's cross compiler
# (g++-mipsel-linux-gnu). Every program is linked statically, the tests too, so
# that qemu-mipsel-static runs them without a MIPS C library on the build machine.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips)
set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE mipsel-linux-gnu)

# Libraries and headers come from the cross C library and the static prefix
# (TAVORC_STATIC_PREFIX, added by the project), never from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/mipsel-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# There is no binfmt registration for MIPS programs: CTest, test discovery and
# the system-test harness start them through the emulator named here.
find_program(TAVORC_QEMU qemu-mipsel-static PATHS /usr/bin REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVORC_QEMU})
