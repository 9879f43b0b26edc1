# `cmake --install`: the application folder (the program, vantrel-cli and
# the two companion programs, which find each other side by side) under the
# library folder, `bin/vantrel` and `bin/vantrel-cli` relative links into
# it, the menu entry, the icon in the hicolor theme, the AppStream metainfo
# and the manual pages. `scripts/package` turns the same into a Debian
# package with CPack.

set(VANTREL_APP_ID "example.brenmoor.Vantrel")
set(packaging "${CMAKE_SOURCE_DIR}/packaging")
# The package's name, where GNUInstallDirs would take the project's.
set(doc "${CMAKE_INSTALL_DATAROOTDIR}/doc/vantrel")

install(TARGETS mencoder fix RUNTIME DESTINATION "${VANTREL_INSTALL_APP_DIR}")

if(VANTREL_BUILD_GUI AND UNIX AND NOT CMAKE_CROSSCOMPILING)
  install(TARGETS vantrel vantrel-cli RUNTIME DESTINATION "${VANTREL_INSTALL_APP_DIR}")

  # bin/vantrel -> ../lib/vantrel/vantrel (and bin/vantrel-cli likewise),
  # relative so that the tree can be moved (DESTDIR, a package). The
  # prefix is read at install time, so that `--prefix` moves the links too.
  foreach(program vantrel vantrel-cli)
    file(RELATIVE_PATH link_target "/prefix/${CMAKE_INSTALL_BINDIR}"
         "/prefix/${VANTREL_INSTALL_APP_DIR}/${program}")
    install(CODE "
      set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(MAKE_DIRECTORY \"\${bin}\")
      file(REMOVE \"\${bin}/${program}\")
      file(CREATE_LINK \"${link_target}\" \"\${bin}/${program}\" SYMBOLIC)
      message(STATUS \"Installing: \${bin}/${program} -> ${link_target}\")
    ")
  endforeach()

  install(FILES "${packaging}/${VANTREL_APP_ID}.desktop"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
  install(FILES "${packaging}/${VANTREL_APP_ID}.metainfo.xml"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
  foreach(size 16 24 32 48 256)
    install(FILES "${CMAKE_SOURCE_DIR}/assets/icon-${size}.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps"
            RENAME "${VANTREL_APP_ID}.png")
  endforeach()

  # Debian wants manual pages and the changelog compressed, without a time
  # stamp in the gzip header.
  find_program(VANTREL_GZIP gzip)
  if(VANTREL_GZIP)
    set(compressed "${CMAKE_BINARY_DIR}/packaging")
    add_custom_command(
      OUTPUT "${compressed}/vantrel.1.gz" "${compressed}/vantrel-cli.1.gz"
             "${compressed}/changelog.gz"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${compressed}"
      COMMAND "${VANTREL_GZIP}" -9nc "${packaging}/vantrel.1" > "${compressed}/vantrel.1.gz"
      COMMAND "${VANTREL_GZIP}" -9nc "${packaging}/vantrel-cli.1"
              > "${compressed}/vantrel-cli.1.gz"
      COMMAND "${VANTREL_GZIP}" -9nc "${packaging}/changelog" > "${compressed}/changelog.gz"
      DEPENDS "${packaging}/vantrel.1" "${packaging}/vantrel-cli.1" "${packaging}/changelog"
      COMMENT "Compressing the manual pages and the changelog"
      VERBATIM)
    add_custom_target(vantrel_docs ALL DEPENDS "${compressed}/vantrel.1.gz"
                                               "${compressed}/vantrel-cli.1.gz"
                                               "${compressed}/changelog.gz")
    install(FILES "${compressed}/vantrel.1.gz" "${compressed}/vantrel-cli.1.gz"
            DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
    install(FILES "${compressed}/changelog.gz" DESTINATION "${doc}")
  endif()
  install(FILES "${packaging}/copyright" DESTINATION "${doc}")
endif()

# The Debian package (scripts/package): what it needs beyond the files comes
# from the shared libraries it links (dpkg-shlibdeps), plus FFmpeg, which the
# encoder adapter starts.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "vantrel")
set(CPACK_PACKAGE_VENDOR "Brenmoor")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Brenmoor Support <support@brenmoor.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "prepares video for the web and uploads it over FTP")
# The summary is the first line of the description; this is the rest.
set(CPACK_PACKAGE_DESCRIPTION
    "Vantrel turns a video into an MP4 file (H.264 video, AAC audio) at a frame
size and bit rates chosen from fixed lists, makes the file ready to play
while it downloads, and uploads a file to your own web server over FTP.
vantrel-cli does the same for a batch of files from a terminal or a
script, uploading each file while it encodes the next.")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_SECTION "video")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brenmoor.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg")
# The windows are laid out for Tahoma's metrics; fonts-wine has a face that
# matches them (platform/fonts.h). Without it the text is set in a wider
# face and may not fit.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_SOURCE_DIR}/dist")
include(CPack)
