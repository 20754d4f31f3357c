# Install layout: velapp keeps what it loads beside itself, so the whole
# application lives in one folder and finds its parts from wherever the
# prefix is:
#   lib/velapp/velapp, libvelhost.so, plugins/, skin/, translations/
#   bin/velapp -> ../lib/velapp/velapp
# applicationDirPath() follows the link (/proc/self/exe), and the RPATHs are
# relative to each file, so no build path is left in what is installed.
set(VELAPP_INSTALL_DIR lib/velapp)
set(VELAPP_TRANSLATION_DIR ${CMAKE_BINARY_DIR}/bin/translations CACHE PATH
    "Folder of .qm files installed beside velapp, if it exists")

install(TARGETS velhost LIBRARY DESTINATION ${VELAPP_INSTALL_DIR})
if(TARGET velapp)
  set_target_properties(velapp PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS velapp RUNTIME DESTINATION ${VELAPP_INSTALL_DIR})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-bin)
  file(CREATE_LINK ../${VELAPP_INSTALL_DIR}/velapp ${CMAKE_BINARY_DIR}/install-bin/velapp SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/install-bin/velapp DESTINATION bin)
endif()
if(TARGET TQuotationPlugin)
  set_target_properties(TQuotationPlugin PROPERTIES INSTALL_RPATH "$ORIGIN/..")
  install(TARGETS TQuotationPlugin LIBRARY DESTINATION ${VELAPP_INSTALL_DIR}/plugins)
endif()
install(DIRECTORY ${VELAPP_SKIN_DIR}/ DESTINATION ${VELAPP_INSTALL_DIR}/skin)
# Built by the translations' own rule; a tree without them installs without.
install(DIRECTORY ${VELAPP_TRANSLATION_DIR}/ DESTINATION ${VELAPP_INSTALL_DIR}/translations
        OPTIONAL)

# scripts/package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velapp)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "option T-board desktop client")
set(CPACK_PACKAGE_DESCRIPTION "velapp shows the option chain of an underlying fund as a T-board: every
expiry a group, every strike a row with the call's live quote on the left
and the put's on the right, on a built-in simulated market, a replayed tick
file or ticks sent to it over TCP.")
set(CPACK_PACKAGE_CONTACT "velapp maintainers <maintainers@users.noreply.c-seed-9703e602.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries come from dpkg-shlibdeps; what Qt loads at run time
# (the SQLite driver) and the Chinese font are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite, fonts-wqy-microhei")
set(CPACK_STRIP_FILES ON)
include(CPack)
