# Cross-builds leadcut with zig's clang for ZIG_TARGET (x86_64-macos,
# aarch64-macos), against the C library headers and the libc++ that zig
# carries, and links with zig's own linker: no SDK. The zig of build-zig
# (bash .ci/install unpacks it there), else one on PATH, or -DZIG=.... The
# build cannot run what it makes, so it makes no sample.
if(ZIG_TARGET MATCHES "-macos")
  set(CMAKE_SYSTEM_NAME Darwin)
endif()
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR "${ZIG_TARGET}")
find_program(ZIG zig HINTS ${CMAKE_CURRENT_LIST_DIR}/../build-zig/package REQUIRED)
# The checks CMake compiles see the same zig and target. They make
# archives, not programs, and the programs need no C++ library (the program
# uses none of its run-time parts): zig would build its libc++ for each.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZIG ZIG_TARGET)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -nostdlib++)
set(CMAKE_CXX_COMPILER ${ZIG} c++ -target ${ZIG_TARGET})
# Its archiver too, which writes the target's archive format.
set(CMAKE_CXX_ARCHIVE_CREATE "${ZIG} ar qc <TARGET> <LINK_FLAGS> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_APPEND "${ZIG} ar q <TARGET> <LINK_FLAGS> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_FINISH "${ZIG} ranlib <TARGET>")
