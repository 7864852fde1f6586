# Run by cpack after it built the packages (CPACK_POST_BUILD_SCRIPTS).
# CMake's DEB generator writes the debug symbol package's md5sums with the
# absolute paths of its staging folder and the symbol files executable, and
# gives the package no documentation folder. This rebuilds the .ddeb as
# dh_strip makes one: debug sections compressed, files 0644, md5sums and
# Installed-Size of what is in it, and /usr/share/doc/<package>-dbgsym a link
# to the folder of the main package, which the package depends on.

set(ddebs ${CPACK_PACKAGE_FILES})
list(FILTER ddebs INCLUDE REGEX "\\.ddeb$")
foreach(ddeb IN LISTS ddebs)
  set(root "${ddeb}.repair")
  file(REMOVE_RECURSE "${root}")
  execute_process(COMMAND dpkg-deb --raw-extract "${ddeb}" "${root}" COMMAND_ERROR_IS_FATAL ANY)

  file(GLOB_RECURSE symbols "${root}/usr/lib/debug/*.debug")
  foreach(symbol IN LISTS symbols)
    execute_process(COMMAND objcopy --compress-debug-sections "${symbol}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  file(CHMOD ${symbols} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  file(MAKE_DIRECTORY "${root}/usr/share/doc")
  file(CREATE_LINK "${CPACK_PACKAGE_NAME}" "${root}/usr/share/doc/${CPACK_PACKAGE_NAME}-dbgsym" SYMBOLIC)

  # Installed-Size counts as dpkg-gencontrol does: each file in whole KiB,
  # each folder and link as one.
  set(sums "")
  set(kib 0)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${root}" "${root}/usr/*")
  list(SORT entries)
  foreach(entry IN LISTS entries)
    if(IS_SYMLINK "${root}/${entry}" OR IS_DIRECTORY "${root}/${entry}")
      math(EXPR kib "${kib} + 1")
    else()
      file(SIZE "${root}/${entry}" size)
      math(EXPR kib "${kib} + (${size} + 1023) / 1024")
      file(MD5 "${root}/${entry}" md5)
      string(APPEND sums "${md5}  ${entry}\n")
    endif()
  endforeach()
  file(WRITE "${root}/DEBIAN/md5sums" "${sums}")
  file(READ "${root}/DEBIAN/control" control)
  string(REGEX REPLACE "Installed-Size: [0-9]+" "Installed-Size: ${kib}" control "${control}")
  file(WRITE "${root}/DEBIAN/control" "${control}")

  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build "${root}" "${ddeb}"
    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${root}")
endforeach()
