# Cross-builds leadcut for arm64 (Debian: g++-aarch64-linux-gnu).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
