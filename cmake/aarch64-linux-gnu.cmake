# Cross-build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu. The
# DSP's four lanes are NEON registers there; -ffp-contract=off (set for
# every target) matters most here, as aarch64 compilers fuse multiply-adds by
# default. Build-time tools and tests run under qemu-user when it is present.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
# The cross toolchain's own root, then the build machine's, where Debian
# multiarch puts arm64 libraries (/usr/lib/aarch64-linux-gnu: libsndfile for
# the renderer, from libsndfile1-dev:arm64) and where the header-only
# libraries' CMake packages live.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config reads the arm64 libraries' descriptions only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)

find_program(VARDO_QEMU_AARCH64 qemu-aarch64)
if(VARDO_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VARDO_QEMU_AARCH64} -L /usr/aarch64-linux-gnu)
endif()
