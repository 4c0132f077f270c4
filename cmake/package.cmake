# What the Linux install adds to the program and its desktop files: the
# manual page, made from the usage text so it lists every option the program
# has, and under share/doc/mivo the copyright and changelog a Debian package
# must carry; then CPack's settings for that package (`cpack -G DEB` in the
# build directory, which tools/package.sh runs).

if(NOT TARGET mivo)
  return()
endif()
set(MIVO_MANPAGE ${PROJECT_BINARY_DIR}/mivo.1.gz)
add_custom_command(OUTPUT ${MIVO_MANPAGE}
  COMMAND bash ${PROJECT_SOURCE_DIR}/tools/manpage.sh $<TARGET_FILE:mivo> ${PROJECT_VERSION}
    ${MIVO_MANPAGE}
  DEPENDS mivo ${PROJECT_SOURCE_DIR}/tools/manpage.sh
  COMMENT "Writing the manual page"
  VERBATIM)
add_custom_target(manpage ALL DEPENDS ${MIVO_MANPAGE})
install(FILES ${MIVO_MANPAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(MIVO_MAINTAINER "Mivo developers <mivo@example.org>")
set(doc ${PROJECT_BINARY_DIR}/doc)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
file(WRITE ${doc}/copyright "Mivo, a viewer for compiled Quake maps.\n\n"
  "Copyright (c) 2026 the Mivo developers\n\n"
  "Mivo is free software under the MIT licence (the Expat licence):\n\n${licence}")
# A native package's changelog: one entry, for the version built. Its date
# follows SOURCE_DATE_EPOCH where that is set.
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${doc}/changelog "mivo (${PROJECT_VERSION}) unstable; urgency=medium\n\n"
  "  * Mivo ${PROJECT_VERSION}.\n\n -- ${MIVO_MAINTAINER}  ${date}\n")
execute_process(COMMAND gzip -9nf ${doc}/changelog COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${doc}/copyright ${doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mivo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mivo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${MIVO_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # mivo_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for compiled Quake maps")
set(CPACK_PACKAGE_DESCRIPTION "Mivo shows a compiled Quake map in a window: a BSP file of version 29
(Quake) or 30 (Half-Life), or a BSP2 or 2PSB map, loose or inside the
game's pak archives. Every face of the world is drawn as a flat-coloured
polygon through OpenGL; the view moves and turns with the numeric key pad,
and the faces show filled or as a wireframe.

mivo --info prints what a map or a pak holds, without a window.")
# Depends: the libraries the program links, found by dpkg-shlibdeps, and
# those SDL loads at run time, which dpkg-shlibdeps cannot see: GLX (libGL
# and Mesa's GLX) for the window's GL, and EGL (libEGL and Mesa's EGL),
# through which SDL's offscreen driver gives --shot its GL.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libglx-mesa0, libegl1, libegl-mesa0")
include(CPack)
