# Install layout: velapp finds its parts relative to its own real path, so
# the installed tree works from wherever the prefix is:
#   lib/velapp/velapp, private/libvelhost.so, plugins/   the machine's code
#   share/velapp/skin/, translations/                     data of any architecture
#   bin/velapp -> ../lib/velapp/velapp
#   share/applications, share/icons, share/man, share/doc/velapp
# applicationDirPath() follows the link (/proc/self/exe), velapp looks for
# skin and translations beside itself, then in ../../share/velapp, and the
# RPATHs are relative to each file, so no build path is left in what is
# installed. libvelhost.so is velapp's alone: it lies a folder below, where
# the system's library search does not look, so the package runs no ldconfig.
set(VELAPP_INSTALL_DIR lib/velapp)
set(VELAPP_LIBRARY_INSTALL_DIR ${VELAPP_INSTALL_DIR}/private)
set(VELAPP_DATA_INSTALL_DIR share/velapp)
set(VELAPP_DOC_INSTALL_DIR share/doc/velapp)
set(VELAPP_TRANSLATION_DIR ${CMAKE_BINARY_DIR}/bin/translations CACHE PATH
    "Folder of .qm files installed for velapp, if it exists")
set(VELAPP_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VELAPP_PACKAGING_BUILD_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${VELAPP_PACKAGING_BUILD_DIR})
# Folders and code as Debian installs them, whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(VELAPP_LIBRARY_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

install(TARGETS velhost LIBRARY DESTINATION ${VELAPP_LIBRARY_INSTALL_DIR}
        PERMISSIONS ${VELAPP_LIBRARY_PERMISSIONS})
# Relocations resolved and made read-only at start, as Debian builds do.
foreach(target velhost velapp TQuotationPlugin)
  if(TARGET ${target})
    target_link_options(${target} PRIVATE LINKER:-z,relro,-z,now)
  endif()
endforeach()
if(TARGET velapp)
  set_target_properties(velapp PROPERTIES INSTALL_RPATH "$ORIGIN/private")
  install(TARGETS velapp RUNTIME DESTINATION ${VELAPP_INSTALL_DIR})
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-bin)
  file(CREATE_LINK ../${VELAPP_INSTALL_DIR}/velapp ${CMAKE_BINARY_DIR}/install-bin/velapp SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/install-bin/velapp DESTINATION bin)
endif()
if(TARGET TQuotationPlugin)
  set_target_properties(TQuotationPlugin PROPERTIES INSTALL_RPATH "$ORIGIN/../private")
  install(TARGETS TQuotationPlugin LIBRARY DESTINATION ${VELAPP_INSTALL_DIR}/plugins
          PERMISSIONS ${VELAPP_LIBRARY_PERMISSIONS})
endif()
install(DIRECTORY ${VELAPP_SKIN_DIR}/ DESTINATION ${VELAPP_DATA_INSTALL_DIR}/skin)
# Built by the translations' own rule; a tree without them installs without.
install(DIRECTORY ${VELAPP_TRANSLATION_DIR}/ DESTINATION ${VELAPP_DATA_INSTALL_DIR}/translations
        OPTIONAL)

# The desktop's menu entry and icon, the formats users write, and what
# Debian wants of every package: the copyright and the changelog, gzip -9n
# (no name or time stamp inside, so the same sources give the same bytes).
install(FILES ${VELAPP_PACKAGING_DIR}/velapp.desktop DESTINATION share/applications)
install(FILES ${VELAPP_PACKAGING_DIR}/velapp.svg DESTINATION share/icons/hicolor/scalable/apps)
find_program(VELAPP_GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${VELAPP_PACKAGING_BUILD_DIR}/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${VELAPP_PACKAGING_DIR}/changelog
          ${VELAPP_PACKAGING_BUILD_DIR}/changelog.Debian
  COMMAND ${VELAPP_GZIP} -9nf ${VELAPP_PACKAGING_BUILD_DIR}/changelog.Debian
  DEPENDS ${VELAPP_PACKAGING_DIR}/changelog
  VERBATIM)
set(VELAPP_PACKAGING_OUTPUTS ${VELAPP_PACKAGING_BUILD_DIR}/changelog.Debian.gz)
install(FILES ${VELAPP_PACKAGING_DIR}/copyright ${VELAPP_PACKAGING_BUILD_DIR}/changelog.Debian.gz
              ${CMAKE_SOURCE_DIR}/docs/formats.md
        DESTINATION ${VELAPP_DOC_INSTALL_DIR})
install(FILES ${VELAPP_PACKAGING_DIR}/lintian-overrides DESTINATION share/lintian/overrides
        RENAME velapp)

# The manual page is velapp's own --help and --version, made by help2man
# from the built velapp (which answers them without a display). Sanitized
# and fuzzing builds make no package, so they skip it.
find_program(VELAPP_HELP2MAN help2man)
if(TARGET velapp AND VELAPP_SANITIZE STREQUAL "" AND NOT VELAPP_FUZZ)
  if(VELAPP_HELP2MAN)
    # Dated by the changelog, not by the day of the build, so the same
    # sources make the same page.
    execute_process(COMMAND dpkg-parsechangelog -l ${VELAPP_PACKAGING_DIR}/changelog -S Timestamp
                    OUTPUT_VARIABLE VELAPP_CHANGELOG_TIME OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                 ${VELAPP_PACKAGING_DIR}/changelog)
    set(VELAPP_MAN_DATE)
    if(VELAPP_CHANGELOG_TIME MATCHES "^[0-9]+$")
      set(VELAPP_MAN_DATE SOURCE_DATE_EPOCH=${VELAPP_CHANGELOG_TIME})
    endif()
    add_custom_command(
      OUTPUT ${VELAPP_PACKAGING_BUILD_DIR}/velapp.1.gz
      COMMAND ${CMAKE_COMMAND} -E env ${VELAPP_MAN_DATE}
              ${VELAPP_HELP2MAN} --no-info --no-discard-stderr
              --name "option T-board desktop client"
              --include ${VELAPP_PACKAGING_DIR}/velapp.h2m
              --output ${VELAPP_PACKAGING_BUILD_DIR}/velapp.1 $<TARGET_FILE:velapp>
      COMMAND ${VELAPP_GZIP} -9nf ${VELAPP_PACKAGING_BUILD_DIR}/velapp.1
      DEPENDS velapp ${VELAPP_PACKAGING_DIR}/velapp.h2m ${VELAPP_PACKAGING_DIR}/changelog
      VERBATIM)
    list(APPEND VELAPP_PACKAGING_OUTPUTS ${VELAPP_PACKAGING_BUILD_DIR}/velapp.1.gz)
    install(FILES ${VELAPP_PACKAGING_BUILD_DIR}/velapp.1.gz DESTINATION share/man/man1)
  else()
    message(STATUS "help2man not found: velapp is built without its manual page")
  endif()
endif()
add_custom_target(velapp_packaging ALL DEPENDS ${VELAPP_PACKAGING_OUTPUTS})

# scripts/package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velapp)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Debian's revision of the package: 2.0.0-1. Raise it (and add an entry to
# packaging/changelog) when the package changes but velapp does not.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
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
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite, fonts-wqy-microhei, tzdata")
set(CPACK_STRIP_FILES ON)
include(CPack)
