# Initial cache of the package build (scripts/package, cmake -C): Debian's
# hardened compiler and linker flags, as dpkg-buildflags gives them.
set(ENV{DEB_BUILD_MAINT_OPTIONS} "hardening=+all")
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND dpkg-buildflags --get ${kind} OUTPUT_VARIABLE ${kind}
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed (install dpkg-dev)")
  endif()
endforeach()
set(CMAKE_CXX_FLAGS "${CPPFLAGS} ${CXXFLAGS}" CACHE STRING "Debian's hardened flags" FORCE)
set(CMAKE_EXE_LINKER_FLAGS "${LDFLAGS}" CACHE STRING "Debian's hardened flags" FORCE)
