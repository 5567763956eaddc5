# What `cmake --install` puts where (GNUInstallDirs), and the Debian package that CPack builds
# from the same rules (scripts/package).
include(GNUInstallDirs)

install(TARGETS varelo-convert varelo-synth RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VARELO_BUILD_APP)
  install(TARGETS varelo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES packaging/org.velquor.Varelo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/org.velquor.Varelo.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# Manual pages, compressed as Debian keeps them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(manualPages varelo-convert varelo-synth)
if(VARELO_BUILD_APP)
  list(APPEND manualPages varelo)
endif()
foreach(page IN LISTS manualPages)
  set(compressed ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/man/${page}.1 > ${compressed}
    DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.1)
  list(APPEND compressedPages ${compressed})
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES packaging/completions/${page} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endforeach()
add_custom_target(manual-pages ALL DEPENDS ${compressedPages})

set(changelog ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${GZIP_PROGRAM} -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
add_custom_target(package-changelog ALL DEPENDS ${changelog})
install(FILES packaging/copyright ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varelo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Velquor)
set(CPACK_PACKAGE_CONTACT "Velquor <support@velquor.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converter of multichannel acquisition recordings into EDF+ files")
# CPack puts the summary first and indents these lines, an empty one becoming " ."
set(CPACK_PACKAGE_DESCRIPTION "Varelo turns a directory of continuously sampled channel files and an optional
event file into EDF+ files that every EDF reader opens: one file per gap-free
segment, the events kept as annotations, every step logged beside the data.

The package holds the window (varelo), the command line converter for
scripts, archives and clusters (varelo-convert), and a generator of synthetic
recordings (varelo-synth).")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://velquor.org/varelo)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # varelo_<version>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)   # the dependencies that dpkg-shlibdeps finds
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
include(CPack)
