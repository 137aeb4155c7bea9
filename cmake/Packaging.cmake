# The installed layout and the Debian package.
#
#   <prefix>/lib/vexlo/        the program folder: vexlo, trevok, palvex-integration,
#                              the catalogue vexlo.ini, VideoFormat.dat, documents,
#                              Vexlo.chm, help/ (a link to the help pages in
#                              share/doc/vexlo/help), and the marker
#                              vexlo.installed (settings per user)
#   <prefix>/bin/vexlo         a relative link into the program folder (Vexlo finds
#                              its folder through /proc/self/exe, so the link works)
#   <prefix>/share/...         desktop entry, icon, AppStream metainfo, and "Convert
#                              with Vexlo" for Dolphin, Nemo and Caja (every user;
#                              Nautilus and Thunar read only per-user entries)
#
# The Debian package is built from debian/ (dpkg-buildpackage), which installs
# with this file; debian/control holds what the package says of itself, and
# debian/changelog its version and history. `cmake --install build --prefix
# /usr` (DESTDIR honoured) lays out the same, and `cpack -G DEB` from the
# build folder makes the same package from a build at hand in seconds (the
# test suite's package checks use it), with the fields of debian/control.
set(VEXLO_PROGRAM_DIR lib/vexlo)

# The package's version: the program's (PROJECT_VERSION), the Debian revision
# of debian/changelog's newest entry (whose program version must be
# PROJECT_VERSION: the test debian_source checks it), and the release the
# package was built for, read from /etc/os-release when the build is
# configured: 2.0.9-1~deb12 on Debian 12, 2.0.9-1~deb13 on Debian 13 (another
# system: ~<ID><VERSION_ID>; none without a VERSION_ID). Packages built for
# different releases so differ in version and file name, and "~" sorts them
# below the package of the same revision built for no particular release.
# The programs, the metainfo and the manual page keep the program's version.
file(STRINGS ${PROJECT_SOURCE_DIR}/debian/changelog _changelog_top LIMIT_COUNT 1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/debian/changelog ${PROJECT_SOURCE_DIR}/debian/control)
if(NOT _changelog_top MATCHES "^vexlo \\(([^)]+)-([^)-]+)\\) ")
  message(FATAL_ERROR "debian/changelog: the newest entry has no version of the form <program>-<revision>")
endif()
set(VEXLO_PACKAGE_REVISION ${CMAKE_MATCH_2})
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(WARNING "debian/changelog's newest entry is for ${CMAKE_MATCH_1}, CMakeLists.txt says ${PROJECT_VERSION}: "
    "add an entry for ${PROJECT_VERSION}")
endif()
set(VEXLO_PACKAGE_RELEASE "")
set(VEXLO_PACKAGE_RELEASE_NAME "")
set(VEXLO_PACKAGE_CODENAME "")
if(EXISTS /etc/os-release)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS /etc/os-release)
  file(STRINGS /etc/os-release _os_lines REGEX "^(ID|NAME|VERSION_ID|VERSION_CODENAME)=")
  foreach(_line ${_os_lines})
    string(REGEX REPLACE "^([A-Z_]+)=\"?([^\"]*)\"?$" "\\2" _value "${_line}")
    string(REGEX REPLACE "=.*" "" _key "${_line}")
    set(_os_${_key} "${_value}")
  endforeach()
  if(_os_ID STREQUAL "debian" AND _os_VERSION_ID MATCHES "^([0-9]+)")
    set(VEXLO_PACKAGE_RELEASE "deb${CMAKE_MATCH_1}")
    set(VEXLO_PACKAGE_RELEASE_NAME "Debian ${CMAKE_MATCH_1}")
  elseif(_os_ID AND _os_VERSION_ID)
    string(TOLOWER "${_os_ID}${_os_VERSION_ID}" VEXLO_PACKAGE_RELEASE)
    string(REGEX REPLACE "[^a-z0-9.+]" "" VEXLO_PACKAGE_RELEASE "${VEXLO_PACKAGE_RELEASE}")
    set(VEXLO_PACKAGE_RELEASE_NAME "${_os_NAME} ${_os_VERSION_ID}")
  endif()
  if(_os_VERSION_CODENAME MATCHES "^[a-z0-9-]+$")
    set(VEXLO_PACKAGE_CODENAME " (${_os_VERSION_CODENAME})")
  endif()
endif()
set(VEXLO_PACKAGE_DEBIAN_REVISION ${VEXLO_PACKAGE_REVISION})
if(VEXLO_PACKAGE_RELEASE)
  string(APPEND VEXLO_PACKAGE_DEBIAN_REVISION "~${VEXLO_PACKAGE_RELEASE}")
endif()
set(VEXLO_PACKAGE_VERSION "${PROJECT_VERSION}-${VEXLO_PACKAGE_DEBIAN_REVISION}")
# For debian/rules, which gives the package this version.
file(WRITE ${CMAKE_BINARY_DIR}/package/version "${VEXLO_PACKAGE_VERSION}\n")

install(TARGETS vexlo trevok palvex-integration RUNTIME DESTINATION ${VEXLO_PROGRAM_DIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/data/vexlo.ini
  ${PROJECT_SOURCE_DIR}/data/VideoFormat.dat
  ${PROJECT_SOURCE_DIR}/data/license.txt
  ${PROJECT_SOURCE_DIR}/data/faq.htm
  ${PROJECT_SOURCE_DIR}/data/vexlo.installed
  DESTINATION ${VEXLO_PROGRAM_DIR})
install(FILES ${VEXLO_BIN_DIR}/Vexlo.chm DESTINATION ${VEXLO_PROGRAM_DIR} OPTIONAL)
# The help pages are documents: in share/doc/vexlo/help, where Debian wants
# them, and found by the program through the link help/ in its folder.
file(GLOB VEXLO_HELP_PAGES ${PROJECT_SOURCE_DIR}/data/help/*.htm ${PROJECT_SOURCE_DIR}/data/help/*.css)
install(FILES ${VEXLO_HELP_PAGES} DESTINATION share/doc/vexlo/help)
install(FILES ${PROJECT_SOURCE_DIR}/data/icons/vexlo.svg DESTINATION share/icons/hicolor/scalable/apps)

# The files that carry the version, made from it.
configure_file(${PROJECT_SOURCE_DIR}/data/example.vexlo.Vexlo.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/package/example.vexlo.Vexlo.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/example.vexlo.Vexlo.metainfo.xml DESTINATION share/metainfo)
# The package's changelog: debian/changelog, under an entry for the release
# the package was built for when it was built for one (the version of the
# package). That entry is for the distribution of the entry below it, which
# is the one that dpkg-buildpackage writes into the .changes, and an hour
# later (lintian wants the newest entry dated after the others).
file(READ ${PROJECT_SOURCE_DIR}/debian/changelog _changelog)
if(VEXLO_PACKAGE_RELEASE)
  if(NOT _changelog MATCHES "^vexlo \\([^)]+\\) ([a-z-]+);")
    message(FATAL_ERROR "debian/changelog: the newest entry names no distribution")
  endif()
  set(_distribution ${CMAKE_MATCH_1})
  if(NOT _changelog MATCHES "\n -- ([^\n]+>)  ([^\n]+ )([0-9][0-9]):([0-9][0-9]:[0-9][0-9])( [^\n]+)\n")
    message(FATAL_ERROR "debian/changelog: the newest entry has no date as RFC 2822 writes it")
  endif()
  math(EXPR _hour "${CMAKE_MATCH_3} + 1")
  set(_time "${_hour}:${CMAKE_MATCH_4}")
  if(_hour LESS 10)
    set(_time "0${_time}")
  elseif(_hour GREATER 23)
    set(_time "23:59:59")
  endif()
  set(_changelog "vexlo (${VEXLO_PACKAGE_VERSION}) ${_distribution}; urgency=medium

  * Built for ${VEXLO_PACKAGE_RELEASE_NAME}${VEXLO_PACKAGE_CODENAME}.

 -- ${CMAKE_MATCH_1}  ${CMAKE_MATCH_2}${_time}${CMAKE_MATCH_5}

${_changelog}")
endif()
# A package whose version has a Debian revision keeps its changelog as
# changelog.Debian.gz.
file(WRITE ${CMAKE_BINARY_DIR}/package/changelog.Debian.new "${_changelog}")
configure_file(${CMAKE_BINARY_DIR}/package/changelog.Debian.new ${CMAKE_BINARY_DIR}/package/changelog.Debian COPYONLY)
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
install(FILES ${PROJECT_SOURCE_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/package/changelog.Debian.gz
  DESTINATION share/doc/vexlo)

# Laid out when installing, with the prefix of that install (which may differ
# from the configured one, as under cpack): the link, and the desktop entry
# whose Exec names the installed program by its absolute path.
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  file(MAKE_DIRECTORY \"\${root}/bin\" \"\${root}/share/applications\")
  file(CREATE_LINK ../${VEXLO_PROGRAM_DIR}/vexlo \"\${root}/bin/vexlo\" SYMBOLIC)
  file(CREATE_LINK ../../share/doc/vexlo/help \"\${root}/${VEXLO_PROGRAM_DIR}/help\" SYMBOLIC)
  file(READ \"${PROJECT_SOURCE_DIR}/data/vexlo.desktop\" entry)
  string(REPLACE \"\\nExec=vexlo \" \"\\nExec=\${CMAKE_INSTALL_PREFIX}/bin/vexlo \" entry \"\${entry}\")
  file(WRITE \"\${root}/share/applications/vexlo.desktop\" \"\${entry}\")
  message(STATUS \"Installing: \${root}/bin/vexlo -> ../${VEXLO_PROGRAM_DIR}/vexlo\")
  message(STATUS \"Installing: \${root}/${VEXLO_PROGRAM_DIR}/help -> ../../share/doc/vexlo/help\")
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
       \"\${CMAKE_INSTALL_PREFIX}/${VEXLO_PROGRAM_DIR}/help\"
       \"\${CMAKE_INSTALL_PREFIX}/share/applications/vexlo.desktop\")
")

# cpack's package: what debian/control says of the binary package (the
# literal relations: the libraries come from dpkg-shlibdeps here too).
file(READ ${PROJECT_SOURCE_DIR}/debian/control _control)
string(REGEX REPLACE "(^|\n)#[^\n]*" "" _control "${_control}") # comment lines
string(REGEX REPLACE ".*\n\nPackage: vexlo\n" "\n" _binary "${_control}")
string(REGEX MATCH "\nMaintainer: ([^\n]+)" _ "${_control}")
set(_maintainer "${CMAKE_MATCH_1}")
string(REGEX MATCH "\nHomepage: ([^\n]+)" _ "${_control}")
set(_homepage "${CMAKE_MATCH_1}")
string(REGEX MATCH "\nSection: ([^\n]+)" _ "${_control}")
set(_section "${CMAKE_MATCH_1}")
# vexlo_control_field(<field> <variable>): the field of the binary package,
# its lines joined.
function(vexlo_control_field field var)
  string(REGEX MATCH "\n${field}:([^\n]*(\n[ \t][^\n]*)*)" _ "${_binary}")
  string(REGEX REPLACE "\n[ \t]+" " " value "${CMAKE_MATCH_1}")
  string(STRIP "${value}" value)
  set(${var} "${value}" PARENT_SCOPE)
endfunction()
vexlo_control_field(Depends _depends)
string(REGEX REPLACE "\\$\\{[^}]+\\}, *" "" _depends "${_depends}") # the substitutions
string(REGEX REPLACE ", *$" "" _depends "${_depends}")
vexlo_control_field(Recommends _recommends)
string(REGEX REPLACE ", *$" "" _recommends "${_recommends}")
string(REGEX MATCH "\nDescription: ([^\n]+)((\n [^\n]*)*)" _ "${_binary}")
set(_summary "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^\n " "" _description "${CMAKE_MATCH_2}")
string(REPLACE "\n " "\n" _description "${_description}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexlo)
set(CPACK_PACKAGE_VENDOR "The Vexlo developers")
set(CPACK_PACKAGE_CONTACT "${_maintainer}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${_homepage}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${_summary}")
set(CPACK_PACKAGE_DESCRIPTION "${_description}")
# Installed with DESTDIR (not into a staging prefix), so that the desktop
# entry names /usr/bin/vexlo.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VEXLO_PACKAGE_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SECTION ${_section})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_depends}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${_recommends}")
include(CPack)
