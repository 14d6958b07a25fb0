# Run by CPack on the staged files of the Debian package, before they are
# packed, to give them the shape Debian expects: the program without the
# compiler's notes (as dh_strip leaves it), the man page compressed with
# `gzip -9n`, the licence named copyright, and a changelog.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(page "${root}/${CPACK_TONVELO_MANDIR}/man1/tonvelo.1")
set(docs "${root}/${CPACK_TONVELO_DOCDIR}")
if(NOT EXISTS "${page}" OR NOT EXISTS "${docs}/LICENSE")
  message(FATAL_ERROR "staged man page or licence missing below ${root}")
endif()

execute_process(COMMAND "${CPACK_TONVELO_STRIP}" --remove-section=.comment
  --remove-section=.note "${root}/${CPACK_TONVELO_BINDIR}/tonvelo" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "strip ${root}/${CPACK_TONVELO_BINDIR}/tonvelo: ${status}")
endif()

find_program(GZIP gzip REQUIRED)
execute_process(COMMAND "${GZIP}" -9nf "${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${page}: ${status}")
endif()
file(RENAME "${docs}/LICENSE" "${docs}/copyright")

# Every Debian package carries a changelog; this one names the release the
# package was built from. string(TIMESTAMP) honours SOURCE_DATE_EPOCH.
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${docs}/changelog" "\
${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Built from the ${CPACK_PACKAGE_NAME} ${CPACK_PACKAGE_VERSION} sources.

 -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}
")
execute_process(COMMAND "${GZIP}" -9nf "${docs}/changelog" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${docs}/changelog: ${status}")
endif()
