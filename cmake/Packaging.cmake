# The Debian package (`make deb`, CPack's DEB generator) and `make uninstall`.
#
# The package holds what `make install` puts in place, under /usr, with the
# binary stripped; dpkg-shlibdeps names the libraries the binary links, and
# the window's CJK font is added by hand since nothing links it.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vardel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "Vardel maintainers <maintainers@users.noreply.c-seed-0ce1ccbe.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up a phone's contacts and SMS messages with one tap")
# The package's long description, as `apt show vardel` prints it below the
# summary.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Vardel saves a phone's address book and its SMS messages as two XML files
on the phone's storage card, keeps a dated copy of every earlier save, and
puts the address book back from the last save without making duplicates.
It runs as a window the size of the phone's screen or from the terminal,
moves contacts and messages in and out as vCard, CSV, JSON and Android SMS
backups, shows a backup as a page, and reads real phones through libgammu.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window draws its Chinese labels in WenQuanYi Zen Hei; the window and
# the pages draw emoji in Noto Color Emoji; `vardel view` opens pages with
# xdg-open.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-zenhei, fonts-noto-color-emoji")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gammu")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)

# The install notes the folders it is about to make before its first file
# and the files it copied after its last one (this file is included before
# any folder's install rules, and the second rule is deferred to after them).
install(CODE "set(VARDEL_BUILD_DIR \"${CMAKE_BINARY_DIR}\")
set(VARDEL_INSTALL_STEP begin)
include(\"${CMAKE_SOURCE_DIR}/cmake/install_record.cmake\")")
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL install CODE
  "set(VARDEL_BUILD_DIR \"${CMAKE_BINARY_DIR}\")
set(VARDEL_INSTALL_STEP end)
include(\"${CMAKE_SOURCE_DIR}/cmake/install_record.cmake\")")

# `make uninstall`: removes what `make install` put in place.
add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/uninstall.cmake
  COMMENT "Removing what make install put in place")
