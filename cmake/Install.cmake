# Installation: one self-contained program folder, <prefix>/lib/fendlemark, holding the program and
# the cabinet tool under its two names; a launcher link <prefix>/bin/fendlemark into it; the
# desktop entry, the icons and the man page. The program finds its folder through its real path,
# so the link may live anywhere.
#
# `cpack -G DEB` builds a Debian package from the same rules.

set(FENDLEMARK_INSTALL_FOLDER lib/fendlemark)

install(TARGETS fendlemark RUNTIME DESTINATION ${FENDLEMARK_INSTALL_FOLDER})
install(PROGRAMS ${FENDLEMARK_BIN_DIR}/Cabarc1.exe ${FENDLEMARK_BIN_DIR}/Cabarc2.exe
        DESTINATION ${FENDLEMARK_INSTALL_FOLDER})

# A relative link, so it stays right under any prefix and inside a package.
set(fendlemark_link ${CMAKE_BINARY_DIR}/install/fendlemark)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install)
file(CREATE_LINK ../${FENDLEMARK_INSTALL_FOLDER}/fendlemark ${fendlemark_link} SYMBOLIC)
install(FILES ${fendlemark_link} DESTINATION bin)

install(FILES ${CMAKE_SOURCE_DIR}/data/fendlemark.desktop DESTINATION share/applications)
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/${size}x${size}/fendlemark.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/data/icons/scalable/fendlemark.svg
        DESTINATION share/icons/hicolor/scalable/apps)
# The man page carries the version the About box shows.
configure_file(${CMAKE_SOURCE_DIR}/data/fendlemark.1.in ${CMAKE_BINARY_DIR}/install/fendlemark.1
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/fendlemark.1 DESTINATION share/man/man1)

# The icons are drawn from the window icon's design by a small program and kept in data/icons;
# `cmake --build build --target desktop_icons` draws them again after the design changes.
add_executable(fendlemark_make_icons EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tools/icons/make_icons.cpp)
target_link_libraries(fendlemark_make_icons PRIVATE fendlemark_ui)
add_custom_target(desktop_icons
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:fendlemark_make_icons> ${CMAKE_SOURCE_DIR}/data/icons
  DEPENDS fendlemark_make_icons
  COMMENT "Drawing the desktop icons into data/icons")

set(CPACK_PACKAGE_NAME fendlemark)
set(CPACK_PACKAGE_VERSION ${FENDLEMARK_VERSION_TEXT})
set(CPACK_PACKAGE_VENDOR "Fendlemark developers")
set(CPACK_PACKAGE_CONTACT "Fendlemark developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find, list and extract Microsoft Cabinet archives")
set(CPACK_PACKAGE_DESCRIPTION
    "Fendlemark finds Microsoft Cabinet (.cab) archives, lists what one or several of them hold\n\
in one sortable list, and extracts all or a chosen subset of their files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window system plugins (xcb, wayland) are packaged apart from the Qt libraries.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/cmake/postinst)
set(CPACK_STRIP_FILES ON)
include(CPack)
