# Cross build for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64-posix: the POSIX threads flavour, which std::thread
# needs).
#
# The whole program, against the libraries that scripts/windows-deps builds
# (Qt, libcurl, OpenSSL, libssh2), with Debian's Qt as the host tools (moc,
# uic, rcc):
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DVANTREL_WINDOWS_PREFIX=$(scripts/windows-deps --print-prefix) \
#         -DCMAKE_CROSSCOMPILING_EMULATOR=wine
#
# Without VANTREL_WINDOWS_PREFIX only the logic, its tests and the two
# companion programs can be built: add -DVANTREL_BUILD_GUI=OFF.
#
# GoogleTest is built from the sources of Debian's googletest package
# (/usr/src/googletest); see the top-level CMakeLists.txt.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VANTREL_MINGW_TRIPLE})
if(VANTREL_WINDOWS_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH "${VANTREL_WINDOWS_PREFIX}")
  # Qt for Windows runs its code generators from the build machine's Qt.
  set(QT_HOST_PATH /usr CACHE PATH "Qt of the build machine")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH
      "CMake files of the build machine's Qt")
  # Only static libraries of OpenSSL are there.
  set(OPENSSL_USE_STATIC_LIBS ON)
  # That Qt reads no zstd-compressed resources; the build machine's rcc
  # would make them.
  set(CMAKE_AUTORCC_OPTIONS --no-zstd)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTREL_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no libstdc++, libgcc or winpthread DLLs to ship
# beside them (the Qt DLLs of scripts/windows-deps are linked the same way).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
