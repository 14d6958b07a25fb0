# Run by CPack on the staged files of the Debian package, before they are
# packed, to give them the shape Debian expects: the program without the
# compiler's notes (as dh_strip leaves it), the man page and the documents
# over 4 KiB compressed with `gzip -9n`, the licence named copyright, the
# changelog kept in the sources, and Debian's modes whatever the umask.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(page "${root}/${CPACK_TONVELO_MANDIR}/man1/tonvelo.1")
set(docs "${root}/${CPACK_TONVELO_DOCDIR}")
set(program "${root}/${CPACK_TONVELO_BINDIR}/tonvelo")
if(NOT EXISTS "${page}" OR NOT EXISTS "${docs}/LICENSE")
  message(FATAL_ERROR "staged man page or licence missing below ${root}")
endif()

execute_process(COMMAND "${CPACK_TONVELO_STRIP}" --remove-section=.comment
  --remove-section=.note "${program}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "strip ${program}: ${status}")
endif()

# The changelog must speak of the release the package holds.
file(STRINGS "${CPACK_TONVELO_CHANGELOG}" latest LIMIT_COUNT 1)
if(NOT latest MATCHES "^${CPACK_PACKAGE_NAME} \\(${CPACK_PACKAGE_VERSION}\\) ")
  message(FATAL_ERROR "${CPACK_TONVELO_CHANGELOG}: the latest entry is not "
    "${CPACK_PACKAGE_VERSION}: ${latest}")
endif()
file(COPY "${CPACK_TONVELO_CHANGELOG}" DESTINATION "${docs}")
get_filename_component(name "${CPACK_TONVELO_CHANGELOG}" NAME)
file(RENAME "${docs}/${name}" "${docs}/changelog")
file(RENAME "${docs}/LICENSE" "${docs}/copyright")

find_program(GZIP gzip REQUIRED)
foreach(file "${page}" "${docs}/README.md" "${docs}/changelog")
  execute_process(COMMAND "${GZIP}" -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file}: ${status}")
  endif()
endforeach()

# Folders made while staging, and files written here, took the umask's
# modes (0775 and 0664 under umask 002).
file(CHMOD_RECURSE "${CPACK_TEMPORARY_DIRECTORY}"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(CHMOD "${program}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
