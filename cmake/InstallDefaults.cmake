# What an installed host needs beside the binaries: the library's four
# configuration files and the adclient and adproxy plug-ins', only where none is present (an existing file is the
# administrator's and is never replaced), the manual pages and the bash
# completion (written from the command table, tools/CMakeLists.txt). DESTDIR relocates all of it.

# The library never creates its configuration files; these defaults are
# local users only ("None"), the adclient and adproxy plug-ins, and no
# trusted authentication proxy; adclient.conf and adproxy.conf name no setting.
set(ORVAUTH_DEFAULT_CONFIG_FILES authentication.conf provider.conf jorvprovider.conf jorvservers.conf adproxy.conf
    adclient.conf)
foreach(name ${ORVAUTH_DEFAULT_CONFIG_FILES})
  install(CODE "
    if(EXISTS \"\$ENV{DESTDIR}${ORVAUTH_CONFIG_DIR}/${name}\")
      message(STATUS \"Kept: \$ENV{DESTDIR}${ORVAUTH_CONFIG_DIR}/${name}\")
    else()
      file(INSTALL \"${CMAKE_SOURCE_DIR}/config/${name}\" DESTINATION \"${ORVAUTH_CONFIG_DIR}\"
           FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
    endif()")
endforeach()

install(FILES docs/man/orvauthctl.8 docs/man/orvauth-proxyd.8 docs/man/orvauth-proxyd-ca.8 DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES docs/man/orvauth-proxyd.conf.5 DESTINATION ${CMAKE_INSTALL_MANDIR}/man5)
