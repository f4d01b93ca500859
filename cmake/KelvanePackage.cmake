# What `cmake --install` puts in place and how CPack makes the Debian package of it: the
# five programs as helpers the host starts (not commands for a person's PATH), plus the
# copyright and changelog every Debian package carries. Nothing else of the build.
set(KELVANE_PROGRAMS kelvane-recorder kelvane-windows kelvane-cursor-watch kelvane-cursor-atlas kelvane-dictate)
install(TARGETS ${KELVANE_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/kelvane)

set(KELVANE_PACKAGE_NAME kelvane-companions)
set(KELVANE_PACKAGE_MAINTAINER "Kelvane maintainers <maintainers@users.noreply.c-seed-51839b5a.example>"
  CACHE STRING "Maintainer field of the Debian package")

# The changelog's newest entry names the version being built, so the two cannot drift apart.
set(_changelog ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_changelog})
file(STRINGS ${_changelog} _newest LIMIT_COUNT 1)
if(NOT _newest MATCHES "^${KELVANE_PACKAGE_NAME} \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog starts with \"${_newest}\", "
    "not an entry for ${KELVANE_PACKAGE_NAME} ${PROJECT_VERSION}")
endif()
# Debian wants it compressed at the highest level, without a time stamp.
execute_process(COMMAND gzip -9 -n -c ${_changelog}
  OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
set(_docs share/doc/${KELVANE_PACKAGE_NAME})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${PROJECT_BINARY_DIR}/changelog.gz
  DESTINATION ${_docs})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KELVANE_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KELVANE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "helper programs of the Kelvane screen recorder")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The Kelvane screen recorder starts these five programs and talks to them
through arguments, standard input and standard output: kelvane-recorder records
a display or a window with system sound and a microphone into a movie file;
kelvane-windows lists the recordable windows; kelvane-cursor-watch reports the
kind of the mouse pointer; kelvane-cursor-atlas renders the standard cursors to
PNG images; kelvane-dictate turns microphone speech into text.

They need an X11 session and a PulseAudio or PipeWire sound server.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from the programs themselves; the data they read at run time (the
# speech model, a cursor theme) has to be named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pocketsphinx-en-us, adwaita-icon-theme")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
include(CPack)
