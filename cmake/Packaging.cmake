# Two Debian packages from one build (scripts/package.sh): kestrava, the console in /opt/kestrava, and
# kestrava-agent, the client service in the system's own folders. Configure with -DKESTRAVA_PACKAGE=ON,
# build, then run cpack in the build folder.
set(KESTRAVA_PACKAGE_MAINTAINER "Kestrava maintainers <maintainers@kestrava.invalid>"
    CACHE STRING "Maintainer field of the packages")
set(KESTRAVA_PACKAGING ${PROJECT_SOURCE_DIR}/resources/packaging)
set(KESTRAVA_PACKAGE_STAGE ${CMAKE_BINARY_DIR}/packaging)
find_program(GZIP_PROGRAM gzip REQUIRED)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  string(TIMESTAMP KESTRAVA_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
else()
  string(TIMESTAMP KESTRAVA_PACKAGE_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
endif()

# Debian wants man pages and changelogs compressed, without a time stamp.
function(kestrava_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP_PROGRAM} -9n -c ${source} > ${output}
    DEPENDS ${source}
    VERBATIM)
endfunction()

set(KESTRAVA_PACKAGE_FILES)
foreach(PACKAGE kestrava kestrava-agent)
  configure_file(${KESTRAVA_PACKAGING}/changelog.in ${KESTRAVA_PACKAGE_STAGE}/${PACKAGE}/changelog @ONLY)
  kestrava_gzip(${KESTRAVA_PACKAGE_STAGE}/${PACKAGE}/changelog ${KESTRAVA_PACKAGE_STAGE}/${PACKAGE}/changelog.gz)
  list(APPEND KESTRAVA_PACKAGE_FILES ${KESTRAVA_PACKAGE_STAGE}/${PACKAGE}/changelog.gz)
endforeach()
kestrava_gzip(${PROJECT_SOURCE_DIR}/docs/man/kestrava.1 ${KESTRAVA_PACKAGE_STAGE}/kestrava.1.gz)
kestrava_gzip(${PROJECT_SOURCE_DIR}/docs/man/kestrava-agent.8 ${KESTRAVA_PACKAGE_STAGE}/kestrava-agent.8.gz)
list(APPEND KESTRAVA_PACKAGE_FILES ${KESTRAVA_PACKAGE_STAGE}/kestrava.1.gz ${KESTRAVA_PACKAGE_STAGE}/kestrava-agent.8.gz)
add_custom_target(package_files ALL DEPENDS ${KESTRAVA_PACKAGE_FILES})

# The shipped configuration names no console: the service is started once an administrator names one.
file(READ ${PROJECT_SOURCE_DIR}/resources/agent/agent.conf.example KESTRAVA_AGENT_CONF)
string(REPLACE "Copy to /etc/kestrava/agent.conf and set the console's address."
       "Name the console, then: systemctl enable --now kestrava-agent" KESTRAVA_AGENT_CONF "${KESTRAVA_AGENT_CONF}")
string(REGEX REPLACE "\nhost = [^\n]*" "\nhost =" KESTRAVA_AGENT_CONF "${KESTRAVA_AGENT_CONF}")
file(WRITE ${KESTRAVA_PACKAGE_STAGE}/agent.conf "${KESTRAVA_AGENT_CONF}")

# kestrava
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/usr/bin\")
  file(CREATE_LINK /opt/kestrava/kestrava \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/usr/bin/kestrava\" SYMBOLIC)
  file(CREATE_LINK /var/lib/kestrava/kestrava.tlmr
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/opt/kestrava/kestrava.tlmr\" SYMBOLIC)
" COMPONENT console)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/kestrava.desktop DESTINATION usr/share/applications
        COMPONENT console)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/kestrava.metainfo.xml DESTINATION usr/share/metainfo
        COMPONENT console)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/kestrava.svg
        DESTINATION usr/share/icons/hicolor/scalable/apps COMPONENT console)
foreach(SIZE 48 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/kestrava-${SIZE}.png
          DESTINATION usr/share/icons/hicolor/${SIZE}x${SIZE}/apps RENAME kestrava.png COMPONENT console)
endforeach()
install(FILES ${KESTRAVA_PACKAGE_STAGE}/kestrava.1.gz DESTINATION usr/share/man/man1 COMPONENT console)
install(FILES ${KESTRAVA_PACKAGING}/copyright ${KESTRAVA_PACKAGE_STAGE}/kestrava/changelog.gz
        DESTINATION usr/share/doc/kestrava COMPONENT console)
install(FILES ${KESTRAVA_PACKAGING}/kestrava/lintian-overrides DESTINATION usr/share/lintian/overrides
        RENAME kestrava COMPONENT console)

# kestrava-agent (its program and unit are installed by src/agent)
install(FILES ${KESTRAVA_PACKAGE_STAGE}/agent.conf DESTINATION etc/kestrava COMPONENT agent EXCLUDE_FROM_ALL)
install(FILES ${KESTRAVA_PACKAGE_STAGE}/kestrava-agent.8.gz DESTINATION usr/share/man/man8
        COMPONENT agent EXCLUDE_FROM_ALL)
install(FILES ${KESTRAVA_PACKAGING}/copyright ${KESTRAVA_PACKAGE_STAGE}/kestrava-agent/changelog.gz
        DESTINATION usr/share/doc/kestrava-agent COMPONENT agent EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrava)
set(CPACK_PACKAGE_VENDOR Talmerin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KESTRAVA_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL console agent)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME kestrava)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SECTION net)
# Plug-ins that Qt loads at run time: the SQLite driver and the display platforms. The TLS backend of the
# authenticated link (plugins/tls/libqopensslbackend.so) ships in libqt6network6 and opens libssl3 at run
# time, so both are named although the linker sees neither need.
set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS "adduser, libqt6sql6-sqlite, qt6-qpa-plugins, libqt6network6 (>= 6.4), libssl3")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SUGGESTS kestrava-agent)
set(CPACK_DEBIAN_CONSOLE_DESCRIPTION "console that controls internet use on the local network
The Kestrava console lists the computers of a school lab or office that run
the Kestrava client service, and turns their internet access and programs on
and off, by hand or on a schedule. Administrators who run it are members of
the group kestrava.")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_CONTROL_EXTRA ${KESTRAVA_PACKAGING}/kestrava/postinst
    ${KESTRAVA_PACKAGING}/kestrava/postrm)

set(CPACK_DEBIAN_AGENT_PACKAGE_NAME kestrava-agent)
set(CPACK_DEBIAN_AGENT_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_AGENT_PACKAGE_DEPENDS "nftables, dnsmasq-base, libqt6network6 (>= 6.4), libssl3")
set(CPACK_DEBIAN_AGENT_DESCRIPTION "Kestrava client service: enforces what the console orders
Runs on each controlled computer, connects to the Kestrava console and applies
its orders with an nftables table of its own, a local dnsmasq and process
control. Name the console in /etc/kestrava/agent.conf, then enable the
service.")
set(CPACK_DEBIAN_AGENT_PACKAGE_CONTROL_EXTRA ${KESTRAVA_PACKAGING}/kestrava-agent/conffiles
    ${KESTRAVA_PACKAGING}/kestrava-agent/postinst ${KESTRAVA_PACKAGING}/kestrava-agent/prerm
    ${KESTRAVA_PACKAGING}/kestrava-agent/postrm)

include(CPack)
