# Run by CPack on the finished Debian package. CPack gives the members of
# its outer ar archive the modes the umask gave their files on disk (0664
# under umask 002); dpkg-deb always writes 0644. Each member's header is
# mended in place, so that the package is the same under any umask.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  file(SIZE "${deb}" size)
  # After "!<arch>\n", each member: a 60-byte header (its mode at 40, its
  # length at 48), then its data, padded to an even length.
  set(at 8)
  while(at LESS size)
    file(READ "${deb}" header OFFSET ${at} LIMIT 60)
    string(SUBSTRING "${header}" 48 10 length)
    string(STRIP "${length}" length)
    if(NOT length MATCHES "^[0-9]+$")
      message(FATAL_ERROR "${deb}: no ar member header at byte ${at}")
    endif()
    math(EXPR mode_at "${at} + 40")
    execute_process(COMMAND printf "100644  "
      COMMAND dd "of=${deb}" bs=1 seek=${mode_at} conv=notrunc status=none
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${deb}: cannot mend the mode at byte ${mode_at}")
    endif()
    math(EXPR at "${at} + 60 + ${length} + ${length} % 2")
  endwhile()
endforeach()
