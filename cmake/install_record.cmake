# Run by `make install` (cmake --install) before it copies anything
# (VARDEL_INSTALL_STEP begin) and after the last file (end), so that
# `make uninstall` knows what to take away again:
#   install_record_dirs.txt   the folders the install made: those of the
#                             program's install folders that did not exist yet
#   install_record_files.txt  every file it copied, with DESTDIR
# Both add to what an earlier install recorded. CPack installs into its own
# staging folder, and nothing is recorded for that.
if("$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}" MATCHES "/_CPack_Packages/")
  return()
endif()

# The package test installs into a scratch prefix and keeps its records apart
# from those of a real `make install` from the same build.
if(DEFINED ENV{VARDEL_INSTALL_RECORD_DIR})
  set(VARDEL_BUILD_DIR "$ENV{VARDEL_INSTALL_RECORD_DIR}")
endif()

function(add_to_record name entries)
  set(record "${VARDEL_BUILD_DIR}/${name}")
  set(old "")
  if(EXISTS "${record}")
    file(STRINGS "${record}" old)
  endif()
  list(APPEND old ${entries})
  list(REMOVE_DUPLICATES old)
  list(JOIN old "\n" text)
  file(WRITE "${record}" "${text}\n")
endfunction()

if(VARDEL_INSTALL_STEP STREQUAL "begin")
  # Every folder the install rules copy into. scripts/check-package installs
  # into an empty prefix and uninstalls again, and finds any folder missing here.
  set(dirs bin share/applications share/man/man1 share/vardel share/metainfo share/doc/vardel
           share/icons/hicolor/16x16/apps share/icons/hicolor/32x32/apps
           share/icons/hicolor/48x48/apps share/icons/hicolor/scalable/apps
           share/bash-completion/completions share/zsh/vendor-completions share/zsh/site-functions
           lib/systemd/user)
  set(created "")
  foreach(dir IN LISTS dirs)
    set(path "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${dir}")
    while(NOT EXISTS "${path}")
      list(APPEND created "${path}")
      get_filename_component(path "${path}" DIRECTORY)
    endwhile()
  endforeach()
  add_to_record(install_record_dirs.txt "${created}")
else()
  set(files "")
  foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
    list(APPEND files "$ENV{DESTDIR}${file}")
  endforeach()
  add_to_record(install_record_files.txt "${files}")
endif()
