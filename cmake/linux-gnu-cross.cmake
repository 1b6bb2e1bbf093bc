# The part that every cross build for Linux shares: Debian's cross compiler
# for CMAKE_SYSTEM_PROCESSOR and its libraries, and qemu-user to run what
# the build makes (the sample generator) and the tests.
set(CMAKE_SYSTEM_NAME Linux)
set(triplet ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
set(CMAKE_CXX_COMPILER ${triplet}-g++)
# Roots given as -DCMAKE_FIND_ROOT_PATH=... too.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(QEMU qemu-${CMAKE_SYSTEM_PROCESSOR})
if(QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU} -L /usr/${triplet})
endif()
