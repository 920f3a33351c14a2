# Install rules and the Debian package.
#
# The host program finds the library beside its own executable, and the library
# takes the payload from there too, so both live together in a private
# directory; the command name on the PATH is a symbolic link to it (the host
# resolves its real location through /proc/self/exe). The sample package is
# data: it is installed read-only and staged from a copy laid out with the host
# program and the library (see the README, "Install").
include(GNUInstallDirs)

# Installing and packaging take what is built and build nothing themselves: the
# package needs only the library and the host program, not every test.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(KOR_PRIVATE_DIR ${CMAKE_INSTALL_LIBEXECDIR}/${PROJECT_NAME})

install(TARGETS vaduzivorirezoz LIBRARY DESTINATION ${KOR_PRIVATE_DIR} NAMELINK_SKIP)
install(TARGETS updatehost RUNTIME DESTINATION ${KOR_PRIVATE_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/include/CDeviceInfo.h ${CMAKE_SOURCE_DIR}/include/DeviceInfoTypes.h
              ${CMAKE_SOURCE_DIR}/include/IDeviceExecution.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${PROJECT_NAME})
install(DIRECTORY ${KOR_PACKAGE_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/${PROJECT_NAME}/package)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# A relative link, so that the tree works under any prefix and DESTDIR.
file(RELATIVE_PATH kor_host_link_target ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_FULL_LIBEXECDIR}/${PROJECT_NAME}/updatehost)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
file(CREATE_LINK ${kor_host_link_target} ${CMAKE_BINARY_DIR}/packaging/updatehost SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/packaging/updatehost DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The ${PROJECT_NAME} developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "staged firmware updates of the management controller")
set(CPACK_PACKAGE_DESCRIPTION
    "A shared library a host firmware-update program loads to stage an update\n\
onto the server's management controller over IPMI, the updatehost program\n\
that drives it, the public headers and a sample package.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_VENDOR} <root@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
# dpkg-shlibdeps derives the run-time dependencies (libxml2, libstdc++6, libc6)
# from the ELF files.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

add_test(NAME install_tree
         COMMAND bash ${CMAKE_SOURCE_DIR}/cmake/tests/check_install_tree.sh ${CMAKE_BINARY_DIR}
                 ${CMAKE_SOURCE_DIR}/cmake/tests/installed_files.txt)

# The exported interface under check.
add_subdirectory(${CMAKE_SOURCE_DIR}/abi ${CMAKE_BINARY_DIR}/abi)

# The fleet playbook.
add_subdirectory(${CMAKE_SOURCE_DIR}/deploy ${CMAKE_BINARY_DIR}/deploy)
