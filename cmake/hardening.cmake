# The protections every program people run should carry, as the OpenSSF
# compiler-hardening guide and Debian's own builds have them, each added only
# where this compiler and target take it: GCC 12 and clang 14 lack some, and
# each CPU has its own control-flow protection. They go on the interface
# target leadcut_build, which the project's own programs link, unless
# LEADCUT_HARDEN is off.
if(NOT LEADCUT_HARDEN)
  return()
endif()
include(CheckCXXCompilerFlag)
include(CheckCXXSourceCompiles)
include(CheckLinkerFlag)
include(CheckPIESupported)

# A flag counts only when it is taken without a word: clang merely warns of
# one it does not use.
set(CMAKE_REQUIRED_FLAGS -Werror)
set(flags -fstack-protector-strong -fcf-protection=full -mbranch-protection=standard)
# Windows probes each page of a large frame itself (___chkstk_ms), and the
# flag crashes MinGW-w64's GCC 12 on such frames.
if(NOT WIN32)
  list(APPEND flags -fstack-clash-protection)
endif()
foreach(flag ${flags})
  string(MAKE_C_IDENTIFIER "has${flag}" has)
  check_cxx_compiler_flag(${flag} ${has})
  if(${has})
    # Also when linking: MinGW-w64 links its stack protector's library then.
    target_compile_options(leadcut_build INTERFACE ${flag})
    target_link_options(leadcut_build INTERFACE ${flag})
    string(APPEND CMAKE_REQUIRED_FLAGS " ${flag}")
  endif()
endforeach()

# Checked buffer sizes need an optimizing build, and AddressSanitizer checks
# the same calls its own way; level 3 where the compiler and C library have
# it, else 2 (MinGW-w64's come from the stack protector's library).
if(NOT LEADCUT_SANITIZE)
  string(APPEND CMAKE_REQUIRED_FLAGS " -O2")
  foreach(level 3 2)
    set(CMAKE_REQUIRED_DEFINITIONS -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=${level})
    check_cxx_source_compiles([[
      #include <cstdio>
      #include <cstring>
      int main(int argc, char **argv)
      {
        char name[8];
        std::strcpy(name, argv[0]);
        return std::printf("%s", name) + argc;
      }]] has_fortify_${level})
    if(has_fortify_${level})
      target_compile_options(leadcut_build INTERFACE
        "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=${level}>")
      break()
    endif()
  endforeach()
  unset(CMAKE_REQUIRED_DEFINITIONS)
endif()
unset(CMAKE_REQUIRED_FLAGS)
target_compile_definitions(leadcut_build INTERFACE _GLIBCXX_ASSERTIONS)

# A program at a random address: -pie on every program but the one whose
# LEADCUT_STATIC property is set, which CMakeLists.txt links statically (as a
# static PIE, where LEADCUT_PIE says this file made it position-independent)
# and which a later -pie would override; so the flag is given here, not by
# CMake's POSITION_INDEPENDENT_CODE.
check_pie_supported()
if(CMAKE_CXX_LINK_PIE_SUPPORTED)
  target_compile_options(leadcut_build INTERFACE ${CMAKE_CXX_COMPILE_OPTIONS_PIE})
  string(JOIN " " pie ${CMAKE_CXX_LINK_OPTIONS_PIE}) # "-fPIE -pie", "-fPIE -Xlinker -pie"
  if(pie)
    target_link_options(leadcut_build INTERFACE
      "$<$<NOT:$<BOOL:$<TARGET_PROPERTY:LEADCUT_STATIC>>>:SHELL:${pie}>")
  endif()
  set(LEADCUT_PIE ON)
endif()
# ELF: read-only relocations, all bound at start, no executable stack, and no
# library linked that is not used. PE: a relocatable image at a high-entropy
# random address, and no executable data.
foreach(flag -z,relro -z,now -z,noexecstack --as-needed --dynamicbase --high-entropy-va
             --nxcompat)
  string(MAKE_C_IDENTIFIER "has${flag}" has)
  check_linker_flag(CXX LINKER:${flag} ${has})
  if(${has})
    target_link_options(leadcut_build INTERFACE LINKER:${flag})
  endif()
endforeach()
