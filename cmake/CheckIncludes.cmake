# The walls that include paths alone leave open, checked on every build: a
# quoted include names a header by its file name only (a path would reach
# into a folder the target does not link), and no code below the window and
# the program's windowed start includes a Qt Widgets header (the whole Qt
# include folder is on every target's path).
# Usage: cmake -DSOURCE_DIR=... -DWIDGETS_DIR=<QtWidgets include folder> -P CheckIncludes.cmake
cmake_policy(VERSION 3.20)
if(NOT IS_DIRECTORY "${WIDGETS_DIR}")
    message(FATAL_ERROR "CheckIncludes: WIDGETS_DIR is not the Qt Widgets include folder")
endif()
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h)
file(GLOB widgetHeaders RELATIVE ${WIDGETS_DIR} ${WIDGETS_DIR}/*)
set(faults)
foreach(source IN LISTS sources)
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include")
    set(widgetsAllowed OFF)
    if(source MATCHES "^src/ui/" OR source STREQUAL "src/app/windowedstartup.cpp")
        set(widgetsAllowed ON)
    endif()
    foreach(line IN LISTS includes)
        if(line MATCHES "include[ \t]*\"([^\"]*/[^\"]*)\"")
            list(APPEND faults "${source}: \"${CMAKE_MATCH_1}\" names a path (link the target that has the header instead)")
        elseif(NOT widgetsAllowed AND line MATCHES "include[ \t]*<(QtWidgets/)?([^>/]+)>")
            if(CMAKE_MATCH_1 OR CMAKE_MATCH_2 IN_LIST widgetHeaders)
                list(APPEND faults "${source}: <${CMAKE_MATCH_1}${CMAKE_MATCH_2}> is a widget header, which only src/ui includes")
            endif()
        endif()
    endforeach()
endforeach()
if(faults)
    list(JOIN faults "\n" message)
    message(FATAL_ERROR "includes against the layering:\n${message}")
endif()
