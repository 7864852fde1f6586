# `make install` and `make deb`: the programs in bin/, their resources in
# share/nimbra-browser/, desktop entries and hicolor icons. The programs find
# the resources as ../share/nimbra-browser from their own folder, so the
# folders are fixed rather than taken from GNUInstallDirs.

install(TARGETS nimbrab nbbe nbdde RUNTIME DESTINATION bin)
install(FILES res/start.html res/ti.bmp DESTINATION share/nimbra-browser/res)
install(FILES res/nimbrab.desktop res/nbbe.desktop DESTINATION share/applications)

# The PNG sizes of the icons are drawn from the SVGs at build time.
find_program(NIMBRA_RSVG_CONVERT rsvg-convert)
if(NOT NIMBRA_RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert (Debian package librsvg2-bin) is needed; tools/install-deps.sh installs it")
endif()
set(NIMBRA_ICON_PNGS)
foreach(icon nimbrab nbbe)
  install(FILES res/${icon}.svg DESTINATION share/icons/hicolor/scalable/apps)
  foreach(size 16 32 48 256)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/${icon}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${NIMBRA_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${CMAKE_SOURCE_DIR}/res/${icon}.svg
      DEPENDS ${CMAKE_SOURCE_DIR}/res/${icon}.svg
      VERBATIM)
    list(APPEND NIMBRA_ICON_PNGS ${png})
    install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
endforeach()
add_custom_target(nimbra_icons ALL DEPENDS ${NIMBRA_ICON_PNGS})

# The Debian package: "0.41 Beta 4" is version 0.41~beta4, which sorts
# before the release 0.41.
string(TOLOWER "${NIMBRA_VERSION_STAGE}" stage)
string(REPLACE " " "" stage "${stage}")
if(stage)
  set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}~${stage}")
else()
  set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nimbra-browser)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tabbed web browser with a Japanese user interface")
set(CPACK_PACKAGE_DESCRIPTION "Nimbra Browser opens every page in a tab of one window (Qt WebEngine),\
 keeps bookmarks, lists of pages and pop-up blocking lists in plain files,\
 and comes with its bookmark editor (nbbe) and a DDE client over D-Bus (nbdde).")
set(CPACK_PACKAGE_CONTACT "Nimbra Browser developers <nimbra@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the linker does not show: the plugins loaded at run time (platforms,
# SVG icons, SQLite for the history database), Japanese fonts and Qt's
# translations, the icon theme and the desktop tools the browser calls.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-qpa-plugins, libqt6svg6, libqt6sql6-sqlite, fonts-noto-cjk, qt6-translations-l10n, hicolor-icon-theme, xdg-utils")
include(CPack)
