cmake_minimum_required(VERSION 3.25)
# Reads ENDPOINTS_FILE the way the configure step does; run with cmake -P.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/Endpoints.cmake)
veltrane_read_endpoints("${ENDPOINTS_FILE}")
message(STATUS "endpoints ok: ${VELTRANE_ENDPOINT_ResultsServerHost}")
