# The Debian package quadrimon-control: `cpack -G DEB` in a Release build configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/package.sh does both, then checks the result).
#
# The package holds what `cmake --install` puts in place (apps/CMakeLists.txt, the manual
# pages of resources/CMakeLists.txt) and the Debian documents of resources/debian: the
# machine-readable copyright file, the changelog, README.Debian (how an operator gets at the
# serial ports) and the lintian overrides. Depends comes from dpkg-shlibdeps, so it names
# exactly the libraries the programs link (Qt 6, libssl/libcrypto, the C++ runtime).
# Nothing goes into /etc: the settings live in the user's folders.

if(UNIX AND NOT APPLE)
  include(GNUInstallDirs)
  set(qm_deb_name quadrimon-control)
  set(qm_deb_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${qm_deb_name})

  # The changelog, gzipped without a name or time stamp in the header so that two builds of
  # the same source give the same bytes. The project is its own upstream (a native package,
  # version without a Debian revision), so Debian's name for it is changelog.gz.
  set(qm_deb_changelog ${PROJECT_BINARY_DIR}/debian/changelog)
  configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog ${qm_deb_changelog} COPYONLY)
  add_custom_command(OUTPUT ${qm_deb_changelog}.gz
    COMMAND ${QM_GZIP} -9nkf ${qm_deb_changelog}
    DEPENDS ${qm_deb_changelog}
    COMMENT "Compressing the Debian changelog")
  add_custom_target(debian-changelog ALL DEPENDS ${qm_deb_changelog}.gz)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright
                ${PROJECT_SOURCE_DIR}/resources/debian/README.Debian
                ${qm_deb_changelog}.gz
          DESTINATION ${qm_deb_docdir})
  # What lintian reports of the package and is as it should be, each with its reason.
  install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${qm_deb_name})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME ${qm_deb_name})
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_VENDOR "QuadrimonControl developers")
  set(CPACK_PACKAGE_CONTACT "QuadrimonControl developers <dev@quadrimon.invalid>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "operator's program for a Quadrimon video wall")
  # The installed tree is made for /usr, whatever prefix the build folder names.
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_QM_STRIP ${CMAKE_STRIP})
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/strip_notes.cmake)
  # Directories made while the package is put together are 0755 whatever the umask;
  # install() gives files 0644 and programs 0755.
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

  set(CPACK_DEBIAN_PACKAGE_NAME ${qm_deb_name})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quadrimon-control_<version>_<arch>.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The long description after CPACK_PACKAGE_DESCRIPTION_SUMMARY, its synopsis: continuation
  # lines of the control file, each under 80 columns.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "QuadrimonControl sets up the link to the wall's units over a serial port
or a TCP gateway, shows the wall's picture, configures the units' inputs,
outputs and alignment, edits, compiles and runs sequence files, and
manages the units' flash files, firmware and fonts.
The package also holds qmctl, which talks to the units, compiles and runs
sequences and manages the flash from the command line and in scripts, and
qmsim, a simulator of up to four units for trying the programs without a
wall.")

  include(CPack)
endif()
