# What an install on Linux adds to the program's folder: the link on the PATH, the desktop entry
# and the icon; and the record of the install that cmake/uninstall.cmake reads. Included by
# src/app/CMakeLists.txt before the programs' own install rules; it ends the install with
# quillmere_install_end().

include(${PROJECT_SOURCE_DIR}/cmake/desktop_entry.cmake)

set(generated ${CMAKE_CURRENT_BINARY_DIR}/linux)
set(datadir ${CMAKE_INSTALL_DATADIR})

# The desktop entry names the program's path, so it is made here for each prefix this build
# may install into.
set(entries ${generated}/entries)
set(entry_prefixes "")
foreach(prefix IN ITEMS "${CMAKE_INSTALL_PREFIX}")
  string(REGEX REPLACE "(.)/+$" "\\1" prefix "${prefix}")
  string(SHA1 key "${prefix}")
  quillmere_desktop_entry("${prefix}/${CMAKE_INSTALL_BINDIR}/quillmere"
                          "${entries}/${key}/quillmere.desktop")
  list(APPEND entry_prefixes "${prefix}")
endforeach()
list(REMOVE_DUPLICATES entry_prefixes)

# Every folder the files go to, for the record of the folders an install makes.
set(install_folders
    ${CMAKE_INSTALL_BINDIR} ${program_dir} ${program_dir}/x ${program_dir}/Samples
    ${datadir}/applications ${datadir}/icons/hicolor/256x256/apps)
set(record ${CMAKE_BINARY_DIR}/installed_files.txt)
configure_file(${PROJECT_SOURCE_DIR}/cmake/install_steps.cmake.in ${generated}/install_steps.cmake
               @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/uninstall.cmake ${CMAKE_BINARY_DIR}/uninstall.cmake
               COPYONLY)

install(CODE "include([==[${generated}/install_steps.cmake]==])\nquillmere_install_begin()")
install(CODE "quillmere_install_link_and_entry()")
install(FILES ${QUILLMERE_RESOURCES}/icon/quillmere.png
        DESTINATION ${datadir}/icons/hicolor/256x256/apps)
