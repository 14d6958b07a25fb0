# Where `cmake --install` puts things, and the packages CPack builds from
# them: a Debian package on Linux (`cpack -G DEB` in the build folder), a
# ZIP of the program and its notes on Windows (`cpack -G ZIP`).
include(GNUInstallDirs)

# The page leaves .Os empty; the build names the package and its version
# there, so that the version is written in one place only.
set(page ${PROJECT_SOURCE_DIR}/doc/tonvelo.1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${page})
file(READ ${page} text)
string(REGEX REPLACE "\n\\.Os\n" "\n.Os Tonvelo ${PROJECT_VERSION}\n" text "${text}")
if(NOT text MATCHES "\n\\.Os Tonvelo ")
  message(FATAL_ERROR "${page}: no empty .Os line for the version")
endif()
file(WRITE ${PROJECT_BINARY_DIR}/tonvelo.1 "${text}")

if(WIN32)
  # Unpacked anywhere, the zip gives the program with its notes beside it,
  # the notices of the libraries linked into it, and the manual as plain
  # text, since Windows has no man; all with the CR LF line ends that
  # every Notepad shows as lines.
  find_program(TONVELO_MANDOC mandoc)
  if(NOT TONVELO_MANDOC)
    message(FATAL_ERROR "mandoc not found: the zip's manual is made with it (apt-get install mandoc)")
  endif()
  set(texts ${PROJECT_BINARY_DIR}/zip)
  add_custom_command(OUTPUT ${texts}/README.md ${texts}/LICENSE ${texts}/NOTICES.txt ${texts}/MANUAL.txt
    COMMAND ${CMAKE_COMMAND} -DMANDOC=${TONVELO_MANDOC} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
      -DPAGE=${PROJECT_BINARY_DIR}/tonvelo.1 -DOUT=${texts}
      -P ${PROJECT_SOURCE_DIR}/cmake/windows-texts.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/cmake/windows-texts.cmake ${PROJECT_BINARY_DIR}/tonvelo.1
      ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
      ${PROJECT_SOURCE_DIR}/doc/windows-notices.txt
    VERBATIM)
  add_custom_target(windows_texts ALL DEPENDS ${texts}/MANUAL.txt)
  install(TARGETS tonvelo RUNTIME DESTINATION .)
  install(FILES ${texts}/README.md ${texts}/LICENSE ${texts}/NOTICES.txt ${texts}/MANUAL.txt
    DESTINATION .)
else()
  install(TARGETS tonvelo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_BINARY_DIR}/tonvelo.1
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(TONVELO_MAINTAINER "The Tonvelo authors <tonvelo@tonvelo.invalid>" CACHE STRING
  "Maintainer named in the Debian package: \"Name <address>\"")

set(CPACK_PACKAGE_NAME tonvelo)
set(CPACK_PACKAGE_VENDOR "the Tonvelo authors")
set(CPACK_PACKAGE_CONTACT "${TONVELO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Wrapped for the control file; an empty line separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION [[Tonvelo walks the whole tree below a folder, collects every file whose
path holds neither .jpg nor .m3u (so no cover images and no earlier
playlists), shuffles them and writes playlist.m3u (extended M3U) for any
player to open.

It is meant for music kept as plain files, from a few hundred to a
million of them, and for scripts that rebuild a playlist now and then.]])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
# The changelog kept in the sources.
set(CPACK_TONVELO_CHANGELOG ${PROJECT_SOURCE_DIR}/CHANGELOG)
# Packages carry the time of the last commit (or of the changelog's latest
# entry), not the time they were made, unless SOURCE_DATE_EPOCH is set.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/package-time.cmake)
set(CPACK_TONVELO_SOURCE_DIR ${PROJECT_SOURCE_DIR})
find_package(Git QUIET)
set(CPACK_TONVELO_GIT "${GIT_EXECUTABLE}")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TONVELO_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends is read off the libraries the program links (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Read by the script below, which reshapes the staged files.
  set(CPACK_TONVELO_STRIP ${CMAKE_STRIP})
  set(CPACK_TONVELO_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(CPACK_TONVELO_MANDIR ${CMAKE_INSTALL_MANDIR})
  set(CPACK_TONVELO_DOCDIR ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian-stage.cmake)
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian-finish.cmake)
endif()

include(CPack)
