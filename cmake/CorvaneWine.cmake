# Tests of a Windows build made on another system run under wine (the toolchain's emulator), in a
# wine prefix of the build's own, with the Qt and compiler runtime DLLs on wine's search path.
set(CORVANE_WINE OFF)
if(WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR MATCHES "wine")
    set(CORVANE_WINE ON)
    set(CORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
endif()

# The folders that hold the compiler's own runtime DLLs (libstdc++, libgcc, winpthread), where
# the compiler is mingw-w64 and links them dynamically; the package takes them from there too.
set(CORVANE_WINDOWS_RUNTIME_DIRS "")
if(MINGW)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(IS_ABSOLUTE "${found}" AND EXISTS "${found}")
            get_filename_component(folder "${found}" DIRECTORY)
            get_filename_component(folder "${folder}" REALPATH)
            list(APPEND CORVANE_WINDOWS_RUNTIME_DIRS "${folder}")
        endif()
    endforeach()
    list(REMOVE_DUPLICATES CORVANE_WINDOWS_RUNTIME_DIRS)
endif()

# A path of the build machine as wine's drive Z shows it.
function(corvane_wine_path out path)
    string(REPLACE "/" "\\" dos "${path}")
    set(${out} "Z:${dos}" PARENT_SCOPE)
endfunction()

if(CORVANE_WINE AND CORVANE_BUILD_TESTS)
    # Creating a prefix takes seconds; do it once (wine updates an existing one by itself) and
    # wait until wine has settled. Then keep one server (or the one a run just before left) and
    # wine's own services up for the tests; they end themselves a few seconds after the last
    # one, and no test starts them holding its output open.
    add_test(NAME wineprefix
        COMMAND sh -c "{ test -f \"$WINEPREFIX/system.reg\" || { wineboot --init && wineserver -w; }; } && { wineserver -p5 </dev/null >/dev/null 2>&1 || true; } && wineboot </dev/null >/dev/null 2>&1")
    set_tests_properties(wineprefix PROPERTIES
        ENVIRONMENT "WINEPREFIX=${CORVANE_WINEPREFIX};WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml="
        FIXTURES_SETUP wineprefix TIMEOUT 300)
endif()

# The environment of a test under wine: the given prefix, the Qt DLLs and plugins (of the Qt this
# build uses, when it uses one) and the compiler's DLLs found.
function(corvane_wine_environment out prefix)
    set(dirs ${CORVANE_WINDOWS_RUNTIME_DIRS})
    set(env "WINEPREFIX=${prefix}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=")
    if(TARGET Qt6::Core)
        get_target_property(core Qt6::Core IMPORTED_LOCATION_RELEASE)
        get_filename_component(qtBin "${core}" DIRECTORY)
        list(APPEND dirs "${qtBin}")
        get_filename_component(qtPlugins "${qtBin}/../plugins" ABSOLUTE)
        corvane_wine_path(plugins "${qtPlugins}")
        list(APPEND env "QT_PLUGIN_PATH=${plugins}")
    endif()
    set(winePath "")
    foreach(dir IN LISTS dirs)
        corvane_wine_path(dos "${dir}")
        # One list element of the property: wine's own separator kept as a character.
        string(APPEND winePath "${dos}\\;")
    endforeach()
    list(APPEND env "WINEPATH=${winePath}")
    set(${out} "${env}" PARENT_SCOPE)
endfunction()

# Runs the named tests under wine in the build's prefix, on the offscreen platform.
function(corvane_wine_tests)
    if(NOT CORVANE_WINE)
        return()
    endif()
    corvane_wine_environment(env "${CORVANE_WINEPREFIX}")
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
    set_tests_properties(${ARGN} PROPERTIES ENVIRONMENT "${env}" FIXTURES_REQUIRED wineprefix)
endfunction()
