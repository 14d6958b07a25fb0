# tonvelo.exe says what it is: a version resource (Properties, Details)
# and an application manifest (run as the invoker; the Windows versions it
# knows), both filled in from the project's version. The manifest asks for
# no code page and no long paths: the program keeps the limits of a plain
# console program.

# Windows counts versions in four parts; the parts not given are 0.
set(TONVELO_VERSION_QUAD ${PROJECT_VERSION_MAJOR})
foreach(part MINOR PATCH TWEAK)
  if(PROJECT_VERSION_${part} STREQUAL "")
    string(APPEND TONVELO_VERSION_QUAD ".0")
  else()
    string(APPEND TONVELO_VERSION_QUAD ".${PROJECT_VERSION_${part}}")
  endif()
endforeach()
string(REPLACE "." "," TONVELO_VERSION_COMMAS ${TONVELO_VERSION_QUAD})
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE TONVELO_COPYRIGHT
  REGEX "^Copyright " LIMIT_COUNT 1)

set(TONVELO_MANIFEST ${PROJECT_BINARY_DIR}/tonvelo.manifest)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tonvelo.manifest.in ${TONVELO_MANIFEST} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tonvelo.rc.in ${PROJECT_BINARY_DIR}/tonvelo.rc @ONLY)
target_sources(tonvelo PRIVATE ${PROJECT_BINARY_DIR}/tonvelo.rc)
# The resource script names the manifest without including it.
set_source_files_properties(${PROJECT_BINARY_DIR}/tonvelo.rc PROPERTIES
  OBJECT_DEPENDS ${TONVELO_MANIFEST})
# The image version of the PE header. CMake would take it from the VERSION
# property, which on a Linux host renames the program tonvelo.exe-<version> too;
# its own (0.0) comes before the libraries, and ld keeps the last one.
# The OS and subsystem versions name the oldest Windows that has every
# function the program imports: Vista (6.0), which brought
# GetFinalPathNameByHandleW, SetFileInformationByHandle and GetTickCount64.
# An older Windows then refuses to start it, instead of failing on a
# missing entry point (ld's default, 4.0 and 5.2, lets XP x64 try).
target_link_libraries(tonvelo PRIVATE
  -Wl,--major-image-version,${PROJECT_VERSION_MAJOR},--minor-image-version,${PROJECT_VERSION_MINOR}
  -Wl,--major-os-version,6,--minor-os-version,0
  -Wl,--major-subsystem-version,6,--minor-subsystem-version,0)
