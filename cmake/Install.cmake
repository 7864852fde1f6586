# `make install` and `make deb`: the programs in bin/, their resources in
# share/nimbra-browser/, desktop entries and hicolor icons, AppStream
# metadata, manual pages, bash completion, the copyright file and the
# changelog. The programs find the resources as ../share/nimbra-browser from
# their own folder, so the folders are fixed rather than taken from
# GNUInstallDirs.

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

# The package version: "0.41 Beta 4" is 0.41~beta4, which sorts before the
# release 0.41.
string(TOLOWER "${NIMBRA_VERSION_STAGE}" stage)
string(REPLACE " " "" stage "${stage}")
if(stage)
  set(NIMBRA_PACKAGE_VERSION "${PROJECT_VERSION}~${stage}")
  set(NIMBRA_RELEASE_TYPE development)
else()
  set(NIMBRA_PACKAGE_VERSION "${PROJECT_VERSION}")
  set(NIMBRA_RELEASE_TYPE stable)
endif()

# The newest entry of docs/changelog is the release: it must be of the
# package version, and its date dates the manual pages and the AppStream
# release.
set(changelog ${CMAKE_SOURCE_DIR}/docs/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
file(STRINGS ${changelog} head LIMIT_COUNT 1)
file(STRINGS ${changelog} trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT head MATCHES "^nimbra-browser \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL NIMBRA_PACKAGE_VERSION)
  message(FATAL_ERROR "docs/changelog: the newest entry must be of version ${NIMBRA_PACKAGE_VERSION}")
endif()
if(NOT trailer MATCHES ">  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "docs/changelog: the newest entry has no date")
endif()
set(day ${CMAKE_MATCH_1})
set(year ${CMAKE_MATCH_3})
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${CMAKE_MATCH_2} month)
math(EXPR month "${month} + 1")
if(month LESS 10)
  set(month 0${month})
endif()
set(NIMBRA_RELEASE_DATE "${year}-${month}-${day}")

# Manual pages in English and Japanese, and the changelog, gzipped as
# Debian wants them: at most compression, without a time stamp.
function(nimbra_gzip input output)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh ${input} ${output}
    DEPENDS ${input}
    VERBATIM)
  set_property(GLOBAL APPEND PROPERTY NIMBRA_DOC_FILES ${output})
endfunction()
foreach(lang en ja)
  if(lang STREQUAL en)
    set(dir "")
  else()
    set(dir "${lang}/")
  endif()
  foreach(program nimbrab nbbe nbdde)
    configure_file(docs/man/${dir}${program}.1 man/${dir}man1/${program}.1 @ONLY)
    set(page ${CMAKE_BINARY_DIR}/man/${dir}man1/${program}.1)
    nimbra_gzip(${page} ${page}.gz)
    install(FILES ${page}.gz DESTINATION share/man/${dir}man1)
  endforeach()
endforeach()
nimbra_gzip(${changelog} ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/doc/changelog.gz docs/copyright DESTINATION share/doc/nimbra-browser)
get_property(docs GLOBAL PROPERTY NIMBRA_DOC_FILES)
add_custom_target(nimbra_docs ALL DEPENDS ${docs})

# AppStream metadata of both programs, for software centres.
foreach(program nimbrab nbbe)
  configure_file(res/org.nimbra.${program}.metainfo.xml.in metainfo/org.nimbra.${program}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/metainfo/org.nimbra.${program}.metainfo.xml DESTINATION share/metainfo)
endforeach()

# bash-completion loads a command's completion from a file of its name.
install(FILES res/completion/nimbrab res/completion/nbdde DESTINATION share/bash-completion/completions)

# The Debian package, with the debug symbols in a package of their own
# (nimbra-browser-dbgsym, a .ddeb beside the .deb).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nimbra-browser)
set(CPACK_PACKAGE_VERSION "${NIMBRA_PACKAGE_VERSION}")
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tabbed web browser with a Japanese user interface")
# Each line of the long description fits in 80 columns.
set(CPACK_PACKAGE_DESCRIPTION "Nimbra Browser opens every page in a tab of one window (Qt WebEngine),
keeps bookmarks, lists of pages and pop-up blocking lists in plain files,
and comes with its bookmark editor (nbbe) and a DDE client over D-Bus
(nbdde). Menus, dialogs and messages are in Japanese.")
set(CPACK_PACKAGE_CONTACT "Nimbra Browser developers <nimbra@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The DEB generator strips the programs itself once it has copied their
# debug symbols out; stripped before, they would have none to give.
set(CPACK_STRIP_FILES OFF)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/RepairDbgsym.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the linker does not show: the plugins loaded at run time (platforms,
# SVG icons, SQLite for the history database), Japanese fonts and Qt's
# translations, the icon theme and the desktop tools the browser calls.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "qt6-qpa-plugins, libqt6svg6, libqt6sql6-sqlite, fonts-noto-cjk, qt6-translations-l10n, hicolor-icon-theme, xdg-utils")
include(CPack)

# `make test` checks the package as a packager would (tools/check-package.sh).
# A sanitized build is no package to ship.
if(NIMBRA_BUILD_TESTS AND NOT NIMBRA_SANITIZE AND NOT NIMBRA_BUILD_FUZZ)
  add_test(NAME package_lintian COMMAND bash ${CMAKE_SOURCE_DIR}/tools/check-package.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(package_lintian PROPERTIES TIMEOUT 1200)
endif()
