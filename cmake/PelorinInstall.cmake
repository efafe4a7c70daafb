# What `cmake --install` and the Debian package put where. The plugins, the
# framework bundles and the libraries the tool shares with them all go to
# lib/pelorin, and every installed binary finds its neighbours relative to itself
# (RUNPATH $ORIGIN; the runtime and the platform look beside their own library), so
# an installed tree still works after it is moved.
include(CMakePackageConfigHelpers)
set(PELORIN_INSTALL_LIBDIR lib/pelorin)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set_target_properties(pelorin_tool PROPERTIES INSTALL_RPATH "$ORIGIN/../${PELORIN_INSTALL_LIBDIR}")
set(PELORIN_INSTALLED_LIBRARIES carbon quickdraw quicktime runtime pelorin)
if(TARGET pelorin_companion)  # built with the tests; the demo shows it when present
  list(APPEND PELORIN_INSTALLED_LIBRARIES pelorin_companion)
endif()
set_target_properties(${PELORIN_INSTALLED_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")
set_target_properties(carbon_framework applicationservices_framework PROPERTIES INSTALL_RPATH "$ORIGIN/../..")

install(TARGETS pelorin_tool RUNTIME DESTINATION bin)
install(TARGETS ${PELORIN_INSTALLED_LIBRARIES} LIBRARY DESTINATION ${PELORIN_INSTALL_LIBDIR})
install(TARGETS carbon_framework LIBRARY DESTINATION ${PELORIN_INSTALL_LIBDIR}/Frameworks/Carbon.framework)
install(TARGETS applicationservices_framework
        LIBRARY DESTINATION ${PELORIN_INSTALL_LIBDIR}/Frameworks/ApplicationServices.framework)

# A host application needs the records and the runtime's interface, nothing else.
install(FILES ${PROJECT_SOURCE_DIR}/sdk/include/pelorin/sdk.h ${PROJECT_SOURCE_DIR}/runtime/include/pelorin/runtime.h
        DESTINATION include/pelorin)
configure_file(${CMAKE_CURRENT_LIST_DIR}/PelorinConfig.cmake.in ${PROJECT_BINARY_DIR}/PelorinConfig.cmake @ONLY)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/PelorinConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/PelorinConfig.cmake ${PROJECT_BINARY_DIR}/PelorinConfigVersion.cmake
        DESTINATION lib/cmake/Pelorin)
configure_file(${CMAKE_CURRENT_LIST_DIR}/pelorin.pc.in ${PROJECT_BINARY_DIR}/pelorin.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/pelorin.pc DESTINATION lib/pkgconfig)

# The manual page and the completion, made from the built tool's --help text.
find_program(GZIP gzip REQUIRED)
set(PELORIN_DOCS ${PROJECT_BINARY_DIR}/doc)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PELORIN_DOCS}/changelog @ONLY)
add_custom_command(
  OUTPUT ${PELORIN_DOCS}/pelorin.1.gz ${PELORIN_DOCS}/pelorin.bash ${PELORIN_DOCS}/changelog.gz
  COMMAND ${PROJECT_SOURCE_DIR}/tools/doc/pelorin-docs $<TARGET_FILE:pelorin_tool> ${PROJECT_VERSION} ${PELORIN_DOCS}
  COMMAND ${GZIP} -9nf ${PELORIN_DOCS}/pelorin.1
  COMMAND ${GZIP} -9nkf ${PELORIN_DOCS}/changelog
  DEPENDS pelorin_tool ${PROJECT_SOURCE_DIR}/tools/doc/pelorin-docs ${PELORIN_DOCS}/changelog
  COMMENT "Writing pelorin's manual page and bash completion from its --help"
  VERBATIM)
add_custom_target(pelorin_docs ALL DEPENDS ${PELORIN_DOCS}/pelorin.1.gz ${PELORIN_DOCS}/pelorin.bash)
install(FILES ${PELORIN_DOCS}/pelorin.1.gz DESTINATION share/man/man1)
install(FILES ${PELORIN_DOCS}/pelorin.bash DESTINATION share/bash-completion/completions RENAME pelorin)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PELORIN_DOCS}/changelog.gz DESTINATION share/doc/pelorin)

# scripts/package: pelorin_VERSION_amd64.deb, depending on the Debian packages
# whose libraries the installed files load (found by dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelorin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Pelorin developers <pelorin@example.org>")
# The summary line, then the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "edit QuickTime movie files from the shell\n\
The tool adds, lists and removes chapters, time code tracks, metadata and user\n\
data in QuickTime movie files, editing them in place or into new files without\n\
re-encoding. It works through the Pelorin plugin, loaded into a stand-in host.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
