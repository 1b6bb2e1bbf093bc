# Cross-builds leadcut for big-endian s390x (Debian: g++-s390x-linux-gnu).
set(CMAKE_SYSTEM_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
