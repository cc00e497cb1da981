# Installation under the usual prefix paths and the Debian package:
#   cmake --install BUILD [--prefix DIR]      the program, the companion and the desktop files
#   (cd BUILD && cpack)                       quenlor_1.2.1-1_amd64.deb
# The manual and the manual pages install themselves (docs/CMakeLists.txt); dist/build-deb
# builds and checks the package.
include(GNUInstallDirs)

set(QUENLOR_APP_ID io.github.quenlor.quenlor)
set(QUENLOR_DIST_DIR ${CMAKE_SOURCE_DIR}/dist)

foreach(program quenlor quenlor-sysex)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${QUENLOR_DIST_DIR}/${QUENLOR_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUENLOR_DIST_DIR}/${QUENLOR_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${QUENLOR_DIST_DIR}/${QUENLOR_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The bank and patch file types, which the desktop entry names, so that the file manager
# opens those files in Quenlor.
install(FILES ${QUENLOR_DIST_DIR}/${QUENLOR_APP_ID}.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# What Debian asks of every package beside its files: the copyright and the changelog,
# compressed without a name or time in it, so that each build gives the same bytes.
set(quenlor_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/quenlor)
set(quenlor_changelog_gz ${CMAKE_BINARY_DIR}/share/doc/quenlor/changelog.Debian.gz)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/share/doc/quenlor)
execute_process(COMMAND gzip -9nc ${QUENLOR_DIST_DIR}/debian/changelog
    OUTPUT_FILE ${quenlor_changelog_gz} RESULT_VARIABLE quenlor_gzip_status)
if(NOT quenlor_gzip_status EQUAL 0)
  message(FATAL_ERROR "gzip failed on the changelog")
endif()
install(FILES ${QUENLOR_DIST_DIR}/debian/copyright ${quenlor_changelog_gz}
    DESTINATION ${quenlor_doc_dir})
# What lintian is told to let pass, each with the reason.
install(FILES ${QUENLOR_DIST_DIR}/debian/lintian-overrides
    DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quenlor)

# The package is built from a normal install; test programs and benchmarks are not
# installed and so are not in it, and need not be built for it: installing and
# packaging take the programs as built (cmake --build BUILD --target quenlor quenlor-sysex).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenlor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Not a Debian-native package: the program's version and the revision of its packaging,
# as the changelog's newest entry names them (cmake/Release.cmake).
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUENLOR_PACKAGE_REVISION})
set(CPACK_PACKAGE_VENDOR "Quenlor")
set(CPACK_PACKAGE_CONTACT "Quenlor developers <quenlor@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Editor and librarian for the Bit 01 synthesizer")
# Lines of at most 80 characters, as dpkg shows them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quenlor keeps a bank of 74 Bit 01 patches, edits them in a grouped editor\n"
    "or in the instrument's parameter table and sends them over MIDI (ALSA or\n"
    "JACK) as SysEx dumps. The companion quenlor-sysex checks bank and patch\n"
    "files, writes them as SysEx files and sends patches from the command line.\n"
    "The LV2 plugin \"Quenlor Bit 01\" sends the patch a DAW automates and saves\n"
    "with a song to the instrument, with the track's MIDI.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The programs stripped as Debian strips its own, .comment and .note sections too.
set(CPACK_QUENLOR_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageStrip.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # quenlor_1.2.1-1_amd64.deb
# The control files with the permissions Debian's policy asks for.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# What no linked library tells: the window system's platform plugins, the SQLite driver
# the patch library opens its file with, and the fonts the windows are laid out for.
set(quenlor_plugin_depends "qt6-qpa-plugins, libqt6sql6-sqlite, fonts-liberation2")
find_program(QUENLOR_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(QUENLOR_FILE_UTILITY file) # CPack tells executables from other files with it
if(QUENLOR_DPKG_SHLIBDEPS AND QUENLOR_FILE_UTILITY)
  # The libraries with the versions the programs were linked against.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${quenlor_plugin_depends}")
else()
  # Without dpkg-dev and file, the libraries by name, as Debian 12 has them.
  string(CONCAT CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libgcc-s1, libqt6core6, libqt6gui6, libqt6widgets6, libqt6sql6"
      ", libasound2, liblo7"
      ", libjack-jackd2-0 | libjack-0.125, ${quenlor_plugin_depends}")
endif()
# The platform plugin of Wayland sessions (Debian's default desktop): without it the
# program runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2")

include(CPack)
