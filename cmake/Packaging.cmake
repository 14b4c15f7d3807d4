# SPDX-License-Identifier: MIT
# `make package`: a Debian package of what `cmake --install` puts in place, with the licence
# and changelog Debian asks for. Its dependencies are read from the binaries (dpkg-shlibdeps).

set(PADDOCK_PACKAGE_MAINTAINER "The Paddock developers <paddock@paddockmoo.org>"
    CACHE STRING "The Debian package's maintainer, as \"Name <address>\"")

# The changelog names each version; a version without its entry would ship a wrong history.
file(STRINGS "${PROJECT_SOURCE_DIR}/packaging/changelog" newestEntry LIMIT_COUNT 1)
if(NOT newestEntry MATCHES "^paddock \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog has no entry for version ${PROJECT_VERSION} "
        "at its top; add one.")
endif()
add_custom_command(OUTPUT changelog.gz
    COMMAND gzip -9 --no-name --stdout "${PROJECT_SOURCE_DIR}/packaging/changelog" > changelog.gz
    DEPENDS "${PROJECT_SOURCE_DIR}/packaging/changelog"
    COMMENT "Compressing the changelog")
add_custom_target(changelog ALL DEPENDS changelog.gz)
install(FILES packaging/copyright "${PROJECT_BINARY_DIR}/changelog.gz"
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/paddock)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME paddock)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PADDOCK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The platform plugin Qt needs to open a window on X11 or Wayland is not linked, so
# dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "desktop launcher for MOO servers
Paddock starts a MOO server on a database of your choice, names the
database the server writes next from a template, and shows everything the
server prints in a searchable log window and a rotating log file. Its status
bar tells whether the server runs, the port it listens on and its last
checkpoint; crashes, failed starts and shutdowns from inside the world are
told apart, and restarting after a crash is optional.
.
Stop sends SIGTERM and waits, so the server always writes its database;
Paddock never kills a server on its own. A server outlives Paddock: a small
keeper goes on saving its output while Paddock is closed, and the next
Paddock takes the server over. After a clean stop Paddock can archive the
previous database, compressed, and keep the world under one name.")
include(CPack)
