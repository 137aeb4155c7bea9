# The installed layout and the Debian package.
#
#   <prefix>/lib/vexlo/        the program folder: vexlo, trevok, palvex-integration,
#                              the catalogue vexlo.ini, VideoFormat.dat, documents,
#                              Vexlo.chm and the same help as HTML pages in help/,
#                              and the marker vexlo.installed (settings per user)
#   <prefix>/bin/vexlo         a relative link into the program folder (Vexlo finds
#                              its folder through /proc/self/exe, so the link works)
#   <prefix>/share/...         desktop entry, icon, AppStream metainfo, and "Convert
#                              with Vexlo" for Dolphin, Nemo and Caja (every user;
#                              Nautilus and Thunar read only per-user entries)
#
# `cmake --install build --prefix /usr` (DESTDIR honoured), or from the build
# folder `cpack -G DEB` for vexlo_<package version>_<arch>.deb.
set(VEXLO_PROGRAM_DIR lib/vexlo)

# The package's version: the program's (PROJECT_VERSION), a Debian revision,
# and the release the package was built for, read from /etc/os-release when
# the build is configured: 2.0.9-1~deb12 on Debian 12, 2.0.9-1~deb13 on
# Debian 13 (another system: ~<ID><VERSION_ID>; none without a VERSION_ID).
# Packages built for different releases so differ in version and file name,
# and "~" sorts them below a package of the same revision built for no
# particular release. The programs, the metainfo and the manual page keep the
# program's version.
set(VEXLO_PACKAGE_REVISION 1 CACHE STRING "The Debian revision of the package (the part after the program's version)")
set(VEXLO_PACKAGE_RELEASE "")
set(VEXLO_PACKAGE_DISTRIBUTION unstable)
if(EXISTS /etc/os-release)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS /etc/os-release)
  file(STRINGS /etc/os-release _os_lines REGEX "^(ID|VERSION_ID|VERSION_CODENAME)=")
  foreach(_line ${_os_lines})
    string(REGEX REPLACE "^([A-Z_]+)=\"?([^\"]*)\"?$" "\\2" _value "${_line}")
    string(REGEX REPLACE "=.*" "" _key "${_line}")
    set(_os_${_key} "${_value}")
  endforeach()
  if(_os_ID STREQUAL "debian" AND _os_VERSION_ID MATCHES "^([0-9]+)")
    set(VEXLO_PACKAGE_RELEASE "deb${CMAKE_MATCH_1}")
  elseif(_os_ID AND _os_VERSION_ID)
    string(TOLOWER "${_os_ID}${_os_VERSION_ID}" VEXLO_PACKAGE_RELEASE)
    string(REGEX REPLACE "[^a-z0-9.+]" "" VEXLO_PACKAGE_RELEASE "${VEXLO_PACKAGE_RELEASE}")
  endif()
  if(_os_VERSION_CODENAME MATCHES "^[a-z0-9-]+$")
    set(VEXLO_PACKAGE_DISTRIBUTION ${_os_VERSION_CODENAME})
  endif()
endif()
set(VEXLO_PACKAGE_DEBIAN_REVISION ${VEXLO_PACKAGE_REVISION})
if(VEXLO_PACKAGE_RELEASE)
  string(APPEND VEXLO_PACKAGE_DEBIAN_REVISION "~${VEXLO_PACKAGE_RELEASE}")
endif()
set(VEXLO_PACKAGE_VERSION "${PROJECT_VERSION}-${VEXLO_PACKAGE_DEBIAN_REVISION}")

install(TARGETS vexlo trevok palvex-integration RUNTIME DESTINATION ${VEXLO_PROGRAM_DIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/data/vexlo.ini
  ${PROJECT_SOURCE_DIR}/data/VideoFormat.dat
  ${PROJECT_SOURCE_DIR}/data/license.txt
  ${PROJECT_SOURCE_DIR}/data/faq.htm
  ${PROJECT_SOURCE_DIR}/data/vexlo.installed
  DESTINATION ${VEXLO_PROGRAM_DIR})
install(FILES ${VEXLO_BIN_DIR}/Vexlo.chm DESTINATION ${VEXLO_PROGRAM_DIR} OPTIONAL)
file(GLOB VEXLO_HELP_PAGES ${PROJECT_SOURCE_DIR}/data/help/*.htm ${PROJECT_SOURCE_DIR}/data/help/*.css)
install(FILES ${VEXLO_HELP_PAGES} DESTINATION ${VEXLO_PROGRAM_DIR}/help)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/vexlo.svg DESTINATION share/icons/hicolor/scalable/apps)

# The files that carry the version, made from it.
configure_file(${PROJECT_SOURCE_DIR}/data/example.vexlo.Vexlo.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/package/example.vexlo.Vexlo.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/example.vexlo.Vexlo.metainfo.xml DESTINATION share/metainfo)
# The changelog's date as RFC 2822 asks: the weekday by Zeller's rule.
string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" _ "${VEXLO_RELEASE_DATE}")
set(_y ${CMAKE_MATCH_1})
math(EXPR _m "${CMAKE_MATCH_2}")
math(EXPR _d "${CMAKE_MATCH_3}")
if(_m LESS 3)
  math(EXPR _m "${_m} + 12")
  math(EXPR _y "${_y} - 1")
endif()
math(EXPR _w "(${_d} + (13 * (${_m} + 1)) / 5 + ${_y} + ${_y} / 4 - ${_y} / 100 + ${_y} / 400) % 7")
set(_weekdays Sat Sun Mon Tue Wed Thu Fri)
list(GET _weekdays ${_w} _wd)
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR _mi "${CMAKE_MATCH_2} - 1")
list(GET _months ${_mi} _mn)
set(VEXLO_RELEASE_DATE_RFC2822 "${_wd}, ${CMAKE_MATCH_3} ${_mn} ${CMAKE_MATCH_1} 12:00:00 +0000")
# A package whose version has a Debian revision keeps its changelog as
# changelog.Debian.gz.
configure_file(${PROJECT_SOURCE_DIR}/data/debian/changelog.in ${CMAKE_BINARY_DIR}/package/changelog.Debian @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/package/changelog.Debian.gz
  COMMAND gzip -9nkf ${CMAKE_BINARY_DIR}/package/changelog.Debian
  DEPENDS ${CMAKE_BINARY_DIR}/package/changelog.Debian)
# The manual page, from `vexlo --help`.
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/package/vexlo.1.gz
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:vexlo> -DOUT=${CMAKE_BINARY_DIR}/package/vexlo.1.gz
          -DVERSION=${PROJECT_VERSION} -DDATE=${VEXLO_RELEASE_DATE} -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
  DEPENDS vexlo ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake)
add_custom_target(vexlo_package_files ALL
  DEPENDS ${CMAKE_BINARY_DIR}/package/changelog.Debian.gz ${CMAKE_BINARY_DIR}/package/vexlo.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/package/vexlo.1.gz DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/data/debian/copyright ${CMAKE_BINARY_DIR}/package/changelog.Debian.gz
  DESTINATION share/doc/vexlo)

# Laid out when installing, with the prefix of that install (which may differ
# from the configured one, as under cpack): the link, and the desktop entry
# whose Exec names the installed program by its absolute path.
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  file(MAKE_DIRECTORY \"\${root}/bin\" \"\${root}/share/applications\")
  file(CREATE_LINK ../${VEXLO_PROGRAM_DIR}/vexlo \"\${root}/bin/vexlo\" SYMBOLIC)
  file(READ \"${PROJECT_SOURCE_DIR}/data/vexlo.desktop\" entry)
  string(REPLACE \"\\nExec=vexlo \" \"\\nExec=\${CMAKE_INSTALL_PREFIX}/bin/vexlo \" entry \"\${entry}\")
  file(WRITE \"\${root}/share/applications/vexlo.desktop\" \"\${entry}\")
  message(STATUS \"Installing: \${root}/bin/vexlo -> ../${VEXLO_PROGRAM_DIR}/vexlo\")
  message(STATUS \"Installing: \${root}/share/applications/vexlo.desktop\")
  execute_process(COMMAND \"$<TARGET_FILE:palvex-integration>\" \"--system-entries=\${root}/share\"
                          \"--program-folder=\${CMAKE_INSTALL_PREFIX}/${VEXLO_PROGRAM_DIR}/\"
                          \"--catalogue=${PROJECT_SOURCE_DIR}/data/vexlo.ini\"
                  RESULT_VARIABLE entries)
  if(entries)
    message(FATAL_ERROR \"the file managers' entries could not be written\")
  endif()
  file(GLOB_RECURSE written RELATIVE \"\${root}\" \"\${root}/share/kio/servicemenus/vexlo-convert*\"
       \"\${root}/share/nemo/actions/vexlo-convert*\" \"\${root}/share/file-manager/actions/vexlo-convert*\")
  foreach(f \${written})
    message(STATUS \"Installing: \${root}/\${f}\")
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${CMAKE_INSTALL_PREFIX}/\${f}\")
  endforeach()
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${CMAKE_INSTALL_PREFIX}/bin/vexlo\"
       \"\${CMAKE_INSTALL_PREFIX}/share/applications/vexlo.desktop\")
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexlo)
set(CPACK_PACKAGE_VENDOR "The Vexlo developers")
set(CPACK_PACKAGE_CONTACT "The Vexlo developers <support@vexlo.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://www.vexlo.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch video converter for camcorder clips and other videos")
# Lines of at most 80 characters, as Debian's control files want them.
set(CPACK_PACKAGE_DESCRIPTION "Vexlo converts a list of videos one after another with one output
profile: MPEG-4, H.264, DivX, XviD, MPEG-1/2 and presets for portable
players. It reads high-definition camcorder clips (.m2ts, .mts, .m2t) and
many other containers, can convert at a scheduled time, and adds Convert
with Vexlo to the context menus of the common file managers.")
# Installed with DESTDIR (not into a staging prefix), so that the desktop
# entry names /usr/bin/vexlo.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VEXLO_PACKAGE_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# The libraries come from dpkg-shlibdeps; ffmpeg is started as a program, and
# Qt needs the SVG plugins for the pictures (the xcb and offscreen platform
# plugins come with libqt6gui6; the Wayland one does not).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, libqt6svg6")
# qt6-translations-l10n: the buttons of message boxes and the file dialog in
# the language of the program's own translation.
# qt6-wayland: Qt's Wayland platform plugin, which Debian ships apart from
# libqt6gui6. On a Wayland desktop without XWayland there is no other
# platform to show the window on, and Qt aborts the program at its start
# without it. Recommended rather than required: X11 desktops, XWayland and the
# invisible runs (vexlo -S, offscreen) do without it, and apt installs what is
# recommended unless told not to.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, hicolor-icon-theme, qt6-translations-l10n, qt6-wayland")
include(CPack)
