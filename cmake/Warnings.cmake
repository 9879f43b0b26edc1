# Compiler flags shared by every target of ours.
add_library(vantrel_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(vantrel_warnings INTERFACE
    -Wall -Wextra -pedantic -Wnon-virtual-dtor -Wshadow=local)
elseif(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  target_compile_options(vantrel_warnings INTERFACE
    -Wall -Wextra -pedantic -Wnon-virtual-dtor -Wshadow)
endif()
option(VANTREL_WERROR "Treat warnings as errors" OFF)
if(VANTREL_WERROR)
  target_compile_options(vantrel_warnings INTERFACE -Werror)
endif()
