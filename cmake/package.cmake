# The Debian package, made by CPack's DEB generator:
#   cmake --build build --target package   ->   build/quillmere_<version>_<arch>.deb
# It holds what "cmake --install" installs, into /usr, with the binaries stripped and the
# dependencies read from them by dpkg-shlibdeps (dpkg-dev). Included by src/app/CMakeLists.txt
# after cmake/linux_install.cmake, whose install rules it packs.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUILLMERE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUILLMERE_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and replace text in many project-schedule files")
# The long description, in lines of at most 80 characters as dpkg shows them.
set(CPACK_PACKAGE_DESCRIPTION [[
Quillmere finds and replaces text in many project-schedule files in one run.
Build a list of project files (a file dialog, every file of an extension in a
folder tree, drag and drop, or the bundled samples), give one find and replace
pair or an ordered list of pairs, choose where the results go, and start. A
source file is never written over.

The built-in project host opens Project XML and MPX files and changes only the
values that matched. The command quillmere-host runs the same pass without the
window, on one file or on whole folder trees, with a summary as text or JSON
Lines.]])
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt loads its display plugins at run time, so no binary names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QUILLMERE_RESOURCES}/linux/debian/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The install runs with CMAKE_INSTALL_PREFIX set to /usr (and DESTDIR to CPack's staging
# folder), so that the install steps pick the desktop entry made for /usr. An absolute install
# destination is an error here; the install steps also take that setting as the sign of a
# package's install, which they leave out of the record of what was installed.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${QUILLMERE_PACKAGE_PREFIX})
set(CPACK_ERROR_ON_ABSOLUTE_INSTALL_DESTINATION ON)
include(CPack)
