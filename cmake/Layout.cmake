# SPDX-License-Identifier: MIT
# Where the programs live, installed and in the build tree. Paddock finds its keeper by a path
# relative to its own folder, fixed here, so an installed tree works wherever it is unpacked.
include(GNUInstallDirs)
# Folders made by the install get the usual mode whatever the umask of whoever builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(PADDOCK_KEEPER_INSTALL_DIR "${CMAKE_INSTALL_LIBEXECDIR}/paddock")
file(RELATIVE_PATH PADDOCK_KEEPER_FROM_PROGRAM
    "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBEXECDIR}/paddock")

# The build tree keeps the same relation for every program one folder below it (app/, tests/,
# bench/), so each finds the keeper there as the installed paddock does.
cmake_path(ABSOLUTE_PATH PADDOCK_KEEPER_FROM_PROGRAM BASE_DIRECTORY "${PROJECT_BINARY_DIR}/app"
    NORMALIZE OUTPUT_VARIABLE PADDOCK_KEEPER_BUILD_DIR)
cmake_path(IS_PREFIX PROJECT_BINARY_DIR "${PADDOCK_KEEPER_BUILD_DIR}" NORMALIZE keeperInBuild)
if(NOT keeperInBuild)
    message(FATAL_ERROR "The keeper's folder relative to the program's, "
        "${PADDOCK_KEEPER_FROM_PROGRAM}, leads out of the build tree: "
        "choose CMAKE_INSTALL_BINDIR and CMAKE_INSTALL_LIBEXECDIR closer together.")
endif()
