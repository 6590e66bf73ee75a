# `make uninstall`: removes every file that `make install` copied, then each
# folder that install made, once it is empty (install_record.cmake keeps both
# lists). Folders that were there before, or that now hold other files, stay.
set(files_record "${BUILD_DIR}/install_record_files.txt")
set(dirs_record "${BUILD_DIR}/install_record_dirs.txt")
if(NOT EXISTS "${files_record}")
  message(FATAL_ERROR "Nothing to uninstall: ${files_record} is missing (no make install from this build)")
endif()
file(STRINGS "${files_record}" files)
foreach(file IN LISTS files)
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(STATUS "Removing ${file}")
    file(REMOVE "${file}")
  endif()
endforeach()

if(EXISTS "${dirs_record}")
  file(STRINGS "${dirs_record}" dirs)
  # Deepest first, so that a folder's empty subfolders go before it.
  list(SORT dirs ORDER DESCENDING)
  foreach(dir IN LISTS dirs)
    file(GLOB left "${dir}/*" "${dir}/.*")
    if(IS_DIRECTORY "${dir}" AND NOT IS_SYMLINK "${dir}" AND NOT left)
      message(STATUS "Removing ${dir}/")
      file(REMOVE_RECURSE "${dir}")
    endif()
  endforeach()
endif()
file(REMOVE "${files_record}" "${dirs_record}")
