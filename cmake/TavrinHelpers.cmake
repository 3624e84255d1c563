# tavrin_add_library(<name> SOURCES <files...> [LIBS <targets...>])
#
# One static library per source area, with src/ on the include path so headers
# are included as "area/Header.h".
function(tavrin_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC Qt6::Core ${ARG_LIBS})
endfunction()

# tavrin_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#                 [ENVIRONMENT <VAR=value...>] [TIMEOUT <seconds>] [RESOURCE_LOCK <names...>])
#
# Builds one Qt Test executable and registers it with CTest. LIBS defaults to the
# whole "tavrin" library. Every test runs on the offscreen platform and with its
# own config directory under the build tree, so no test touches the real user's
# settings; a test that needs a display or a tray sets up its own.
function(tavrin_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT;RESOURCE_LOCK" ${ARGN})
    if(NOT ARG_LIBS)
        set(ARG_LIBS tavrin)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-home/${name};${ARG_ENVIRONMENT}"
        LABELS "${ARG_LABELS}"
        TIMEOUT ${ARG_TIMEOUT})
    if(ARG_RESOURCE_LOCK)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
    endif()
endfunction()
