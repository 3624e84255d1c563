# The Windows build runs its tests under Wine, in one prefix of the build tree
# (made afresh by every test run) with Wine's own messages silenced and no
# Mono or Gecko installer asked for.
if(CMAKE_CROSSCOMPILING_EMULATOR)
    set(TAVRIN_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "Wine prefix the tests run in")
    set(TAVRIN_WINE_ENVIRONMENT
        "WINEPREFIX=${TAVRIN_WINE_PREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
endif()

# tavrin_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>]
#                 [ENVIRONMENT <VAR=value...>] [TIMEOUT <seconds>] [RESOURCE_LOCK <names...>])
#
# Builds one Qt Test executable and registers it with CTest. LIBS defaults to the
# whole "tavrin" library; every Qt test also links tavrin_test_support
# (tests/support), so no test lists support sources. Every test runs on the offscreen platform and with its
# own config directory under the build tree, so no test touches the real user's
# settings; a test that needs a display or a tray sets up its own.
function(tavrin_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT;RESOURCE_LOCK" ${ARGN})
    if(NOT ARG_LIBS)
        set(ARG_LIBS tavrin)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} tavrin_test_support Qt6::Test)
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

# tavrin_check_core(<target>)
#
# Fails the configure step unless the target links nothing but zlib (so the
# standard library and zlib) and has only src/ on its include path: no Qt
# directory can reach it through a linked target.
function(tavrin_check_core target)
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
        get_target_property(libs ${target} ${property})
        list(FILTER libs EXCLUDE REGEX "^(ZLIB::ZLIB|\\$<LINK_ONLY:ZLIB::ZLIB>)$")
        if(libs)
            message(FATAL_ERROR "${target} must link nothing but the standard library and zlib; "
                                "its ${property} holds: ${libs}")
        endif()
    endforeach()
    get_target_property(dirs ${target} INCLUDE_DIRECTORIES)
    if(NOT dirs STREQUAL "${PROJECT_SOURCE_DIR}/src")
        message(FATAL_ERROR "${target} must include nothing but src/; it includes: ${dirs}")
    endif()
endfunction()

# GoogleTest for the core's tests, compiled from Debian's sources (package
# "googletest") with the project's own compiler and flags, so a cross build
# compiles it the same way. Only the tests that use it build it.
function(tavrin_use_googletest)
    if(TARGET GTest::gtest_main)
        return()
    endif()
    set(source /usr/src/googletest)
    if(NOT EXISTS ${source}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources not found in ${source} (Debian package googletest)")
    endif()
    # Function scope: these settings reach only the GoogleTest build.
    set(CMAKE_AUTOMOC OFF)
    set(CMAKE_AUTORCC OFF)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endfunction()

# tavrin_add_core_test(<name> SOURCES <files...> [LIBS <targets...>] [LABEL <label>] [DESKTOP])
#
# Builds one GoogleTest executable against tavrin_core (no Qt, no display) and
# registers it with CTest as one test, labelled "core" (or LABEL). In the
# Windows build it runs under Wine, in the session tavrin_wine_session() sets up;
# with DESKTOP instead on a virtual desktop with a tray, in a Wine prefix of its own.
function(tavrin_add_core_test name)
    cmake_parse_arguments(ARG "DESKTOP" "LABEL" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_LABEL)
        set(ARG_LABEL core)
    endif()
    tavrin_use_googletest()
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTORCC OFF AUTOUIC OFF)
    target_link_libraries(${name} PRIVATE tavrin_core ${ARG_LIBS} GTest::gtest_main)
    # The core tests' fakes and helpers: as free of Qt as the core.
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/core)
    if(ARG_DESKTOP)
        set(support ${PROJECT_SOURCE_DIR}/tests/support)
        add_test(NAME ${name}
            COMMAND ${support}/with-desktop.sh --fixed-tray ${support}/with-wine.sh
                ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABEL};desktop" TIMEOUT 180)
        return()
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT 120)
    if(CMAKE_CROSSCOMPILING_EMULATOR)
        set_tests_properties(${name} PROPERTIES
            FIXTURES_REQUIRED wine
            ENVIRONMENT "${TAVRIN_WINE_ENVIRONMENT}")
    endif()
endfunction()

# tavrin_wine_session()
#
# The Windows build's tests share one Wine prefix and one wineserver kept up
# from the first test to the last: a test started without a running server
# waits seconds for one, and Wine's background services must not hold CTest's
# output pipe. Tests join the session through the fixture "wine".
function(tavrin_wine_session)
    set(script ${PROJECT_SOURCE_DIR}/tests/support/wine-session.sh)
    add_test(NAME wine_session_start COMMAND ${script} start ${TAVRIN_WINE_PREFIX})
    add_test(NAME wine_session_end COMMAND ${script} stop ${TAVRIN_WINE_PREFIX})
    set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
    set_tests_properties(wine_session_end PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
endfunction()
