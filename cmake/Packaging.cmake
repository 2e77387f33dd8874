# Installation in the desktop's places and the Debian package:
#   cmake --install <dir>                 puts the program, its desktop entry,
#                                         icons, metainfo and manual page in place
#   cmake --build <dir> --target package  makes
#       veltrane-diagnostic_<version>-<release>_<arch>.deb, the release for
#       example 1~deb12 on Debian 12 (VELTRANE_PACKAGE_RELEASE)

include(GNUInstallDirs)

set(VELTRANE_HOMEPAGE "https://www.veltrane.example/diagnostic/" CACHE STRING
    "The program's home page, named in the package and its metainfo")
set(VELTRANE_SCREENSHOT_URL "${VELTRANE_HOMEPAGE}window.png" CACHE STRING
    "Where the picture of the window (docs/window.png) is published")
set(VELTRANE_MAINTAINER "Veltrane Support <support@veltrane.example>" CACHE STRING
    "The package's maintainer")
set(VELTRANE_RELEASE_DATE 2026-12-07)

set(dist ${CMAKE_SOURCE_DIR}/dist)

# The manual page: the values from the endpoints file, with "-" as roff's
# minus sign, then the options from the help texts by veltrane-manpage.
foreach(name ResultsServerHost PublicResolver PublicNameServer RootServer CdnEchoServer
             DnsProviderEchoServer)
    string(REPLACE "-" "\\-" MAN_${name} "${VELTRANE_ENDPOINT_${name}}")
endforeach()
configure_file(${dist}/veltrane-diagnostic.1.in ${GENERATED_DIR}/veltrane-diagnostic.1.in @ONLY)
set(manPage ${CMAKE_BINARY_DIR}/veltrane-diagnostic.1)
add_custom_command(OUTPUT ${manPage}.gz
    COMMAND veltrane-manpage ${GENERATED_DIR}/veltrane-diagnostic.1.in ${manPage}
    # No name or time stamp in the archive: the same sources give the same package.
    COMMAND gzip -9nf ${manPage}
    DEPENDS veltrane-manpage ${GENERATED_DIR}/veltrane-diagnostic.1.in
    COMMENT "Writing the manual page")
add_custom_target(manpage ALL DEPENDS ${manPage}.gz)

configure_file(${dist}/${VELTRANE_APP_ID}.metainfo.xml.in
    ${GENERATED_DIR}/${VELTRANE_APP_ID}.metainfo.xml @ONLY)

install(TARGETS veltrane-diagnostic)
install(TARGETS veltrane-diagnostic-run DESTINATION ${VELTRANE_RUN_PROGRAM_DIR})
install(FILES ${dist}/${VELTRANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${GENERATED_DIR}/${VELTRANE_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${dist}/icons/${VELTRANE_APP_ID}.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${dist}/icons/${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME ${VELTRANE_APP_ID}.png)
endforeach()
install(FILES ${manPage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# What the program probes and where it sends the report, for anyone to read.
install(FILES ${VELTRANE_ENDPOINTS_FILE} DESTINATION ${CMAKE_INSTALL_DOCDIR}
    RENAME endpoints.conf)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR Veltrane)
set(CPACK_PACKAGE_CONTACT ${VELTRANE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "network diagnostics report for Veltrane support")
# Lines of the long description within 80 columns, as the package tools show them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "When the Veltrane DNS-filtering service does not work as it should, support"
    "asks you to run this program. It runs a fixed set of network tests (dig,"
    "nslookup, ping, traceroute, curl, the process list, the interfaces, resolver"
    "settings and routes), joins what they print into one plain-text report and"
    "uploads it to the results server, which answers with a link for support; or"
    "prints it, or writes it to a file.")
# A package built on Debian 13 needs Qt 6.8 and cannot install on Debian 12:
# the version says which release it was built for, as Debian's own backports
# do (1.0.0-1~deb12 sorts before 1.0.0-1~deb13), and so does the file name.
set(releaseSuffix "")
if(EXISTS /etc/os-release)
    file(STRINGS /etc/os-release osRelease REGEX "^(ID|VERSION_ID)=")
    foreach(line IN LISTS osRelease)
        if(line MATCHES "^(ID|VERSION_ID)=\"?([^\"]*)\"?$")
            set(os_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
        endif()
    endforeach()
    if(os_ID STREQUAL "debian" AND os_VERSION_ID)
        set(releaseSuffix "~deb${os_VERSION_ID}")
    elseif(os_ID AND os_VERSION_ID)
        set(releaseSuffix "~${os_ID}${os_VERSION_ID}")
    endif()
endif()
set(VELTRANE_PACKAGE_RELEASE "1${releaseSuffix}" CACHE STRING
    "The Debian revision of the package, with the release it is built for")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VELTRANE_PACKAGE_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELTRANE_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The battery's tools; the computed library dependencies are added to these.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "bind9-dnsutils | dnsutils, iputils-ping, traceroute, curl, iproute2, procps")
# Qt's own translations, for the standard dialogs in the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "net-tools, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)
