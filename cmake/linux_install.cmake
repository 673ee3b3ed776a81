# What an install on Linux adds to the program's folder: the link on the PATH, the desktop entry
# and the icon, the AppStream metainfo, the manual pages, the bash completion of
# quillmere-host, and the Debian package's copyright and changelog; and the record of the
# install that cmake/uninstall.cmake reads. Included by src/app/CMakeLists.txt before the
# programs' own install rules; it ends the install with quillmere_install_end().

include(${PROJECT_SOURCE_DIR}/cmake/desktop_entry.cmake)

set(linux_dir ${QUILLMERE_RESOURCES}/linux)
set(generated ${CMAKE_CURRENT_BINARY_DIR}/linux)
set(datadir ${CMAKE_INSTALL_DATADIR})
set(docdir ${datadir}/doc/quillmere)
set(completions ${datadir}/bash-completion/completions)
set(metainfo org.quillmere.Quillmere.metainfo.xml)
# Where the Debian package installs (cmake/package.cmake).
set(QUILLMERE_PACKAGE_PREFIX /usr)
set(QUILLMERE_SUPPORT_ADDRESS support@quillmere.org)
set(QUILLMERE_MAINTAINER "Quillmere maintainers <${QUILLMERE_SUPPORT_ADDRESS}>")

# The release date of the changelog and the AppStream metainfo: SOURCE_DATE_EPOCH when set,
# else the time of the last commit, so that a package made again from the same source is the
# same; today outside a git checkout.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE git_failed ERROR_QUIET)
  if(NOT git_failed AND commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
  endif()
endif()
string(TIMESTAMP QUILLMERE_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP QUILLMERE_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

# The desktop entry names the program's path, so it is made here for each prefix this build
# may install into: the configured one, and the package's.
set(entries ${generated}/entries)
set(entry_prefixes "")
foreach(prefix IN ITEMS "${CMAKE_INSTALL_PREFIX}" "${QUILLMERE_PACKAGE_PREFIX}")
  string(REGEX REPLACE "(.)/+$" "\\1" prefix "${prefix}")
  string(SHA1 key "${prefix}")
  quillmere_desktop_entry("${prefix}/${CMAKE_INSTALL_BINDIR}/quillmere"
                          "${entries}/${key}/quillmere.desktop")
  list(APPEND entry_prefixes "${prefix}")
endforeach()
list(REMOVE_DUPLICATES entry_prefixes)

configure_file(${linux_dir}/${metainfo}.in ${generated}/${metainfo} @ONLY)
configure_file(${linux_dir}/debian/changelog.in ${generated}/changelog @ONLY)
set(compressed ${generated}/changelog.gz)
foreach(page quillmere.1 quillmere-host.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.in ${generated}/${page} @ONLY)
  list(APPEND compressed ${generated}/${page}.gz)
endforeach()
# Compressed as Debian wants them: best compression, no name or time stamp in the header.
foreach(file IN LISTS compressed)
  string(REGEX REPLACE "\\.gz$" "" plain "${file}")
  add_custom_command(OUTPUT ${file} COMMAND gzip -9nkf ${plain} DEPENDS ${plain} VERBATIM)
endforeach()
add_custom_target(quillmere_linux_files ALL DEPENDS ${compressed})

# Every folder the files go to, for the record of the folders an install makes.
set(install_folders
    ${CMAKE_INSTALL_BINDIR} ${program_dir} ${program_dir}/x ${program_dir}/Samples
    ${datadir}/applications ${datadir}/icons/hicolor/256x256/apps ${datadir}/metainfo
    ${CMAKE_INSTALL_MANDIR}/man1 ${completions} ${docdir})
set(record ${CMAKE_BINARY_DIR}/installed_files.txt)
configure_file(${PROJECT_SOURCE_DIR}/cmake/install_steps.cmake.in ${generated}/install_steps.cmake
               @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/uninstall.cmake ${CMAKE_BINARY_DIR}/uninstall.cmake
               COPYONLY)

install(CODE "include([==[${generated}/install_steps.cmake]==])\nquillmere_install_begin()")
install(CODE "quillmere_install_link_and_entry()")
install(FILES ${QUILLMERE_RESOURCES}/icon/quillmere.png
        DESTINATION ${datadir}/icons/hicolor/256x256/apps)
install(FILES ${generated}/${metainfo} DESTINATION ${datadir}/metainfo)
install(FILES ${generated}/quillmere.1.gz ${generated}/quillmere-host.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${linux_dir}/quillmere-host.bash-completion DESTINATION ${completions}
        RENAME quillmere-host)
install(FILES ${linux_dir}/debian/copyright ${generated}/changelog.gz DESTINATION ${docdir})
