# Installation and packaging: `cmake --install` lays out the host, the libraries, the headers and CMake
# package for programs that embed the module, the sample files, a desktop entry, a man page and an
# example systemd unit; `cpack -G DEB` makes Debian packages of it.
include(CMakePackageConfigHelpers)

set(_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(_cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/batchorder)

# Programs and libraries. Installed into a system library directory (a package for /usr) they need no
# search path; anywhere else they find the libraries relative to themselves, so the tree can be moved.
set(_programs batchorder-host)
if(TARGET batchorder-send)
    list(APPEND _programs batchorder-send)
endif()
if(CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
    set_target_properties(${_programs} batchorder batchorderhost PROPERTIES INSTALL_RPATH "")
else()
    set_target_properties(${_programs} PROPERTIES INSTALL_RPATH "\$ORIGIN/${BATCHORDER_RELATIVE_LIB_DIR}")
    set_target_properties(batchorder batchorderhost PROPERTIES INSTALL_RPATH "\$ORIGIN")
endif()
set_target_properties(batchorder batchorderhost PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
install(TARGETS batchorder batchorderhost EXPORT batchorderTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development)
install(TARGETS ${_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)

# Headers of a program that embeds the module: the module's exported classes and what the reference
# host uses of it, and every interface of the host layer the module is built against, in the same
# folders as in the source tree so that the module's includes resolve.
set(_moduledir ${PROJECT_SOURCE_DIR}/src/ui/paneloperations/batchorder)
set(_moduleheaders)
foreach(_header cbatchordermanager.h cbatchorderwidget.h cbatchordermessagedata.h cbatchordermessagemodel.h
                cbatchorderdata.h cbatchorderreceipt.h)
    if(EXISTS ${_moduledir}/${_header})
        list(APPEND _moduleheaders ${_moduledir}/${_header})
    endif()
endforeach()
install(FILES ${_moduleheaders} ${PROJECT_BINARY_DIR}/src/ui/paneloperations/batchorder/batchorder_export.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/batchorder COMPONENT development)
get_target_property(_hostsources batchorderhost SOURCES)
foreach(_source IN LISTS _hostsources)
    if(_source MATCHES "\\.h$")
        get_filename_component(_folder ${_source} DIRECTORY)
        install(FILES ${PROJECT_SOURCE_DIR}/src/ui/paneloperations/host/${_source}
            DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/batchorder/${_folder} COMPONENT development)
    endif()
endforeach()

# find_package(batchorder): imported targets batchorder::batchorder (the module) and
# batchorder::batchorderhost (the host layer).
install(EXPORT batchorderTargets NAMESPACE batchorder:: DESTINATION ${_cmakedir} COMPONENT development)
configure_package_config_file(${_packaging}/batchorderConfig.cmake.in
    ${PROJECT_BINARY_DIR}/batchorderConfig.cmake INSTALL_DESTINATION ${_cmakedir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/batchorderConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/batchorderConfig.cmake ${PROJECT_BINARY_DIR}/batchorderConfigVersion.cmake
    DESTINATION ${_cmakedir} COMPONENT development)

# The host's default files (found relative to the executable) and the sample instruction files.
install(FILES ${PROJECT_SOURCE_DIR}/examples/profile.json ${PROJECT_SOURCE_DIR}/examples/log4cxx.properties
    DESTINATION ${BATCHORDER_INSTALL_DATADIR} COMPONENT runtime)
install(FILES ${PROJECT_SOURCE_DIR}/examples/instructions/one-order.csv
              ${PROJECT_SOURCE_DIR}/examples/instructions/orders.csv
              ${PROJECT_SOURCE_DIR}/examples/instructions/task.csv
    DESTINATION ${BATCHORDER_INSTALL_DATADIR}/instructions COMPONENT runtime)

# Desktop integration, manual and documentation.
install(FILES ${_packaging}/batchorder-host.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT runtime)
install(FILES ${_packaging}/batchorder-host.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT runtime)
install(FILES ${_packaging}/batchorder-host.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
if(TARGET batchorder-send)
    install(FILES ${_packaging}/batchorder-send.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/instruction-lines.md
              ${PROJECT_SOURCE_DIR}/docs/journal.md ${PROJECT_SOURCE_DIR}/docs/order-building.md
              ${PROJECT_SOURCE_DIR}/docs/profile.md ${PROJECT_SOURCE_DIR}/docs/reader.md
              ${PROJECT_SOURCE_DIR}/docs/receipts.md
    DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)

# A user unit (systemctl --user): installed but not enabled; the README says how to use it.
configure_file(${_packaging}/batchorder-host.service ${PROJECT_BINARY_DIR}/batchorder-host.service @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/batchorder-host.service DESTINATION lib/systemd/user COMPONENT runtime)

# Debian packages: batchorder (the host and the libraries) and batchorder-dev (headers and the CMake
# package). Build them from a tree configured with -DCMAKE_INSTALL_PREFIX=/usr (scripts/build.sh package).
set(CPACK_PACKAGE_NAME batchorder)
set(CPACK_PACKAGE_VENDOR "Batch order maintainers")
set(CPACK_PACKAGE_CONTACT "Batch order maintainers <maintainers@batchorder.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The host's own libraries are in the package; dpkg-shlibdeps finds them there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/lib)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME batchorder)
# The window's journal view opens the journal through Qt's SQLite plugin, which no library links to.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libqt5sql5-sqlite")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "sqlite3")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME batchorder-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "batchorder (= ${PROJECT_VERSION}-1), qtbase5-dev, libboost-dev, libboost-thread-dev, libboost-filesystem-dev, libboost-system-dev, liblog4cxx-dev, libfmt-dev")
# A package's description: its first line is the summary, the rest the long description.
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Batch order panel module and its reference host
Places, cancels and runs many orders at once from CSV instruction files written by traders or their
strategy programs. The reference host runs the module with a window or headless on a profile of
accounts and instruments, and journals every order it is handed in SQLite (a paper broker).")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Batch order panel module: headers and CMake package
What a program needs to embed the batch order module: the headers of the module and of the host
layer it is built against, and the CMake package (find_package(batchorder)).")
include(CPack)
