# The Debian package: `cpack -G DEB` in the build folder (scripts/package).
#
# Besides what src/ installs (the program, its help pages, the licence), the
# package brings what a desktop needs to show Kelvane: its menu entry, its
# icon and the type of its project files.

set(KELVANE_DATA ${PROJECT_SOURCE_DIR}/data)
install(FILES ${KELVANE_DATA}/kelvane.desktop DESTINATION share/applications)
install(FILES ${KELVANE_DATA}/kelvane.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${KELVANE_DATA}/kelvane-mime.xml DESTINATION share/mime/packages
  RENAME kelvane.xml)
install(FILES ${KELVANE_DATA}/copyright DESTINATION share/doc/kelvane)

# cpack installs what is built and builds nothing itself: `make package` builds
# first, and the package test runs while the rest of the tests do.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvane)
set(CPACK_PACKAGE_VENDOR "Kelvane developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "transcribe recorded speech by hand")
set(CPACK_PACKAGE_DESCRIPTION [=[
Kelvane is a desktop program for typing out recorded speech by hand. You
play a recording and pause it (F11) wherever a section should end; while
playback waits you type the words of that section, and Continue (F11 again)
keeps them and plays on into the next one. F12 plays the current section
again, and earlier sections can be replayed from the table or found with
the seek bar.

The work is kept in a plain-text project file (*.kvprj), and the finished
transcript is exported as plain text. Kelvane plays what GStreamer can
decode, among it WAV, MP3, WMA, WMV, AVI and MPEG.]=])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# The program is built with debugging information; the package needs none.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME kelvane)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kelvane developers")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links come from dpkg-shlibdeps; these it loads
# only at run time: GStreamer's decoders, Qt's X11 platform plugin, the fonts
# its windows are drawn with and the launcher for the help pages.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-pulseaudio, qt6-qpa-plugins, fonts-liberation, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
