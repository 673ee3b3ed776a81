# Removes what "cmake --install" put on the disk, as recorded in installed_files.txt beside this
# script (the build folder): every file and link, then each folder that the install made, down
# to what is still in it. Names with spaces or any other character are taken whole.
#   cmake -P build/uninstall.cmake          (sudo for a prefix the user may not change)

set(record "${CMAKE_CURRENT_LIST_DIR}/installed_files.txt")
if(NOT EXISTS "${record}")
  message(FATAL_ERROR "Nothing to remove: ${record} is written by cmake --install.")
endif()
file(STRINGS "${record}" lines ENCODING UTF-8)
set(folders "")
foreach(line IN LISTS lines)
  if(line MATCHES "^#")
    continue()
  elseif(line MATCHES "/$")
    list(APPEND folders "${line}")
  elseif(EXISTS "${line}" OR IS_SYMLINK "${line}")
    message(STATUS "Removing: ${line}")
    file(REMOVE "${line}")
  endif()
endforeach()
# A folder goes with the empty folders in it; one that still holds a file (put there after the
# install) stays, and is named.
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY "${folder}")
    execute_process(COMMAND find "${folder}" -depth -type d -empty -delete)
    if(EXISTS "${folder}")
      message(STATUS "Kept: ${folder} (it holds files that the install did not put there)")
    else()
      message(STATUS "Removed: ${folder}")
    endif()
  endif()
endforeach()
file(REMOVE "${record}")
