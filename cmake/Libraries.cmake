# vantrel_library(NAME LINKS libraries... SOURCES files...)
#
# One library of a folder (see the README, "Libraries"): static, its headers
# named from the top of the source tree ("upload/ftpclient.h"), and what it
# links passed on to whoever links it.
function(vantrel_library name)
  cmake_parse_arguments(L "" "" "LINKS;SOURCES" ${ARGN})
  add_library(${name} STATIC ${L_SOURCES})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}")
  target_link_libraries(${name} PUBLIC ${L_LINKS} vantrel_warnings)
endfunction()
