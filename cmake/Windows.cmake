# The Windows program: vantrel.exe as a program of the GUI subsystem (no
# console window), with its icon, version information and manifest.
# scripts/package-windows puts it, its companions and the Qt files it loads
# into a setup program.
if(NOT WIN32 OR NOT TARGET vantrel)
  return()
endif()

enable_language(RC)
set(VANTREL_WIN_ICON "${CMAKE_SOURCE_DIR}/assets/vantrel.ico")
set(VANTREL_WIN_MANIFEST "${CMAKE_SOURCE_DIR}/packaging/windows/vantrel.manifest")
configure_file("${CMAKE_SOURCE_DIR}/packaging/windows/vantrel.rc.in"
               "${CMAKE_BINARY_DIR}/packaging/windows/vantrel.rc" @ONLY)
target_sources(vantrel PRIVATE "${CMAKE_BINARY_DIR}/packaging/windows/vantrel.rc")
set_source_files_properties("${CMAKE_BINARY_DIR}/packaging/windows/vantrel.rc" PROPERTIES
  OBJECT_DEPENDS "${VANTREL_WIN_ICON};${VANTREL_WIN_MANIFEST}")
set_target_properties(vantrel PROPERTIES WIN32_EXECUTABLE ON)
