# What is installed where and how it is packed: a flat folder for the static
# tarball and for the Windows zip, Debian's layout for the package and for
# CMake's own install. Included from CMakeLists.txt, which makes the manual
# page (manual_page).

# Packages name the CPU as Debian and most users do.
set(cpu ${CMAKE_SYSTEM_PROCESSOR})
if(cpu STREQUAL aarch64)
  set(cpu arm64)
endif()

include(GNUInstallDirs)
if(LEADCUT_STATIC AND NOT WIN32)
  # A flat folder for the tarball: the program, its license, the README, the
  # history and the manual page.
  install(TARGETS leadcut RUNTIME DESTINATION .)
  install(FILES LICENSE README.md NEWS ${manual_page} DESTINATION .)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_SYSTEM_NAME linux-${cpu})
elseif(WIN32)
  # A flat folder for the zip: the program, its license, the README, the
  # history and the manual as text.
  install(TARGETS leadcut RUNTIME DESTINATION .)
  install(FILES LICENSE README.md NEWS DESTINATION .)
  find_program(GROFF groff)
  if(GROFF)
    add_custom_command(OUTPUT leadcut.txt
                       COMMAND ${GROFF} -man -Tutf8 -P-cbou ${manual_page} > leadcut.txt
                       DEPENDS ${manual_page})
    add_custom_target(manual_text ALL DEPENDS leadcut.txt)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/leadcut.txt DESTINATION .)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
else()
  # The license in Debian's copyright format, and the manual page and NEWS
  # (a Debian changelog) compressed as Debian installs them where gzip is.
  file(READ LICENSE license)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
  string(REGEX REPLACE "\n\n" "\n.\n" license "${license}")
  string(REGEX REPLACE "\n([^\n])" "\n \\1" license "${license}")
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/copyright
       "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
       "Upstream-Name: leadcut\n\nFiles: *\nCopyright: 2026 the leadcut authors\n"
       "License: Expat\n ${license}")
  set(manual ${manual_page})
  set(changelog NEWS)
  set(changelog_name changelog) # plain text is no .gz
  find_program(GZIP gzip)
  if(GZIP)
    foreach(file ${manual_page} ${CMAKE_CURRENT_SOURCE_DIR}/NEWS)
      get_filename_component(name ${file} NAME)
      add_custom_command(OUTPUT ${name}.gz
                         COMMAND ${GZIP} -9nc ${file} > ${name}.gz
                         DEPENDS ${file})
    endforeach()
    add_custom_target(compressed_docs ALL DEPENDS leadcut.1.gz NEWS.gz)
    set(manual ${CMAKE_CURRENT_BINARY_DIR}/leadcut.1.gz)
    set(changelog ${CMAKE_CURRENT_BINARY_DIR}/NEWS.gz)
    set(changelog_name changelog.gz)
  endif()
  install(TARGETS leadcut RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md ${CMAKE_CURRENT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME ${changelog_name})
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # Else cpack asks dpkg, which names the CPU of the machine that builds.
  if(cpu STREQUAL x86_64)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  else()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${cpu})
  endif()
endif()

set(CPACK_PACKAGE_NAME leadcut)
set(CPACK_PACKAGE_VENDOR "the leadcut authors")
set(CPACK_PACKAGE_CONTACT "${LEADCUT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "report PCM WAV files and cut their lead-in")
set(CPACK_PACKAGE_DESCRIPTION
    "leadcut reports the RIFF chunks and format fields of an uncompressed\n\
PCM WAV file and writes a copy whose audio starts a given number of\n\
milliseconds later.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/cmake/package_time.cmake)
set(CPACK_LEADCUT_SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
# A file beside each package with its SHA-256, as sha256sum -c reads it.
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
