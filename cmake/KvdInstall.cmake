# Installation and the Debian package.
#
# Both drivers, the stand-in client library (when the drivers link it) and
# the login library go into one library directory: the drivers' RUNPATH is
# $ORIGIN, so an installed driver finds its libraries beside it and needs
# nothing of the build tree. An odbcinst.ini template with the installed
# paths registers both drivers:  odbcinst -i -d -f <datadir>/kvd7r22/odbcinst.ini
include(GNUInstallDirs)

set(KVD_DRIVER_UNICODE_NAME "Zezuzeru Oracle Unicode")
set(KVD_DRIVER_ANSI_NAME "Zezuzeru Oracle ANSI")
set(KVD_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/kvd7r22)

install(TARGETS kvd7r22xw kvd7r22x vqlogin8 LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET ocilite AND NOT KVD_USE_REAL_OCI)
  install(TARGETS ocilite LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  file(RELATIVE_PATH _kvd_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
  set_target_properties(ocilite-admin PROPERTIES INSTALL_RPATH "$ORIGIN/${_kvd_bin_to_lib}")
  install(TARGETS ocilite-admin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The template names the drivers where they are installed: written at
# install time, so that `cmake --install --prefix P` and the package (whose
# prefix is /usr) each get their own paths.
install(CODE "
  set(KVD_LIBDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}\")
  set(KVD_DRIVER_UNICODE_NAME \"${KVD_DRIVER_UNICODE_NAME}\")
  set(KVD_DRIVER_ANSI_NAME \"${KVD_DRIVER_ANSI_NAME}\")
  set(_dest \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${KVD_INSTALL_DATADIR}\")
  message(STATUS \"Installing: \${_dest}/odbcinst.ini\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/odbcinst.ini.in\" \"\${_dest}/odbcinst.ini\" @ONLY)
")
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

# cpack -G DEB: the package installs under /usr and its maintainer scripts
# register both drivers with odbcinst after installing and unregister them
# before removal, as distribution ODBC drivers do.
set(CPACK_PACKAGE_NAME "kvd7r22")
set(CPACK_PACKAGE_VENDOR "Zezuzeru")
set(CPACK_PACKAGE_VERSION "1.0.0")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Zezuzeru ODBC driver for Oracle (Unicode and ANSI)")
set(CPACK_PACKAGE_CONTACT "Zezuzeru ODBC maintainers <odbc@zezuzeru.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "libs")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "unixodbc, odbcinst, libsqlite3-0")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(_kvd_pkg_template "${CPACK_PACKAGING_INSTALL_PREFIX}/${KVD_INSTALL_DATADIR}/odbcinst.ini")
foreach(_script postinst prerm)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/${_script}.in
                 ${CMAKE_BINARY_DIR}/packaging/debian/${_script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/packaging/debian/postinst ${CMAKE_BINARY_DIR}/packaging/debian/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
