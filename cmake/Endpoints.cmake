# Reads the endpoints file into VELTRANE_ENDPOINT_<Name> variables. Any fault in
# the file stops the configure step with a message that names it, so a build
# can never probe a host by accident of a typo.

# Every endpoint role, listed here only: the reader below checks a file against
# this list, and the build makes the battery's Endpoints struct and its
# built-in values from it (veltrane_write_endpoint_headers).
set(VELTRANE_SERVICE_ENDPOINT_NAMES ServiceDomain ResultsServerHost)
set(VELTRANE_BATTERY_ENDPOINT_NAMES
    MyIpName ResolverPrimary ResolverSecondary PublicResolver
    ApiHost MonitorHost BlockPageHost CategoryHitHost DebugName CdnEchoName CdnEchoServer
    DnsProviderEchoName DnsProviderEchoServer RootServer PublicNameServer ServiceWebHost
    PaloAltoRouter SeattleRouter LosAngelesRouter ChicagoRouter NewYorkRouter AshburnRouter
    LondonRouter MiamiRouter SingaporeRouter FrankfurtRouter HongKongRouter AmsterdamRouter
    BerlinRouter ParisRouter CopenhagenRouter DallasRouter BucharestRouter PragueRouter
    WarsawRouter SydneyRouter BlockPageAltHost WebServerAddress BlockedTestAddress
    GreyTestAddress GreyTestName)
set(VELTRANE_ENDPOINT_NAMES ${VELTRANE_SERVICE_ENDPOINT_NAMES} ${VELTRANE_BATTERY_ENDPOINT_NAMES})

function(veltrane_read_endpoints file)
    if(NOT EXISTS "${file}")
        message(FATAL_ERROR "endpoints file not found: ${file}")
    endif()
    if(NOT CMAKE_SCRIPT_MODE_FILE)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
    endif()
    file(READ "${file}" content)
    # Keep list separators out of the way before splitting into lines.
    string(REPLACE ";" "<semicolon>" content "${content}")
    string(REGEX REPLACE "\r?\n" ";" lines "${content}")

    set(seen "")
    set(lineNumber 0)
    foreach(line IN LISTS lines)
        math(EXPR lineNumber "${lineNumber} + 1")
        string(REGEX REPLACE "#.*$" "" line "${line}")
        string(STRIP "${line}" line)
        if(line STREQUAL "")
            continue()
        endif()
        if(NOT line MATCHES "^([A-Za-z]+)[ \t]*=[ \t]*(.*)$")
            message(FATAL_ERROR "${file}:${lineNumber}: expected 'Name = value', got '${line}'")
        endif()
        set(name "${CMAKE_MATCH_1}")
        set(value "${CMAKE_MATCH_2}")
        if(NOT name IN_LIST VELTRANE_ENDPOINT_NAMES)
            message(FATAL_ERROR "${file}:${lineNumber}: unknown endpoint name '${name}'")
        endif()
        if(name IN_LIST seen)
            message(FATAL_ERROR "${file}:${lineNumber}: endpoint '${name}' is given twice")
        endif()
        if(value STREQUAL "")
            message(FATAL_ERROR "${file}:${lineNumber}: endpoint '${name}' has an empty value")
        endif()
        # Host names, addresses and an optional port: nothing that could break
        # out of a C++ string literal or a shell command line.
        if(NOT value MATCHES "^[A-Za-z0-9._:-]+$")
            message(FATAL_ERROR "${file}:${lineNumber}: endpoint '${name}' has a value that is not a host name or address: '${value}'")
        endif()
        list(APPEND seen "${name}")
        set(VELTRANE_ENDPOINT_${name} "${value}" PARENT_SCOPE)
    endforeach()

    foreach(name IN LISTS VELTRANE_ENDPOINT_NAMES)
        if(NOT name IN_LIST seen)
            message(FATAL_ERROR "${file}: endpoint '${name}' is missing")
        endif()
    endforeach()
endfunction()

# generated/endpoints/endpoints.h holds the values read from the file;
# endpointroles.h beside it the battery's roles alone, the same in every build.
function(veltrane_write_endpoint_headers directory)
    set(VELTRANE_ENDPOINT_CONSTANTS "")
    foreach(name IN LISTS VELTRANE_ENDPOINT_NAMES)
        string(APPEND VELTRANE_ENDPOINT_CONSTANTS
            "inline constexpr char ${name}[] = \"${VELTRANE_ENDPOINT_${name}}\";\n")
    endforeach()
    set(VELTRANE_ENDPOINT_ROLES "")
    foreach(name IN LISTS VELTRANE_BATTERY_ENDPOINT_NAMES)
        string(APPEND VELTRANE_ENDPOINT_ROLES " \\\n    role(${name})")
    endforeach()
    configure_file(${PROJECT_SOURCE_DIR}/src/diagnostics/battery/endpoints.h.in
        ${directory}/endpoints.h @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/src/diagnostics/battery/endpointroles.h.in
        ${directory}/endpointroles.h @ONLY)
endfunction()
