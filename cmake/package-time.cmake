# Read by cpack before it packs: the time written into the packages (file
# times in the archives, gzip and ar headers). A caller's SOURCE_DATE_EPOCH
# wins; else the time of the last commit, so that two builds of one commit
# give the same bytes; else, outside a git checkout (a tarball), the date
# of the changelog's latest entry, as dpkg-buildpackage takes it.

# Zip files hold local times: these are the same in every time zone.
set(ENV{TZ} UTC)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  return()
endif()

set(epoch "")
if(CPACK_TONVELO_GIT AND EXISTS "${CPACK_TONVELO_SOURCE_DIR}/.git")
  execute_process(COMMAND "${CPACK_TONVELO_GIT}" -C "${CPACK_TONVELO_SOURCE_DIR}"
    log -1 --format=%ct OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
endif()
if(NOT epoch MATCHES "^[0-9]+$")
  file(STRINGS "${CPACK_TONVELO_CHANGELOG}" trailer REGEX "^ -- " LIMIT_COUNT 1)
  if(trailer MATCHES "^ -- .*>  (.+)$")
    execute_process(COMMAND date -u -d "${CMAKE_MATCH_1}" +%s
      OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
endif()
if(NOT epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "no package time: neither git nor the date in ${CPACK_TONVELO_CHANGELOG}")
endif()
set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
