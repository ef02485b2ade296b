# The Windows package: the programs with the Qt DLLs and plugins they load and the compiler's
# runtime DLLs, as a zip and as an installer with Start-menu entries.
if(TARGET corvane-check)
    install(TARGETS corvane-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES copyright DESTINATION ${CORVANE_INSTALL_DOCDIR})

# Plugins Qt loads at run time, so no program names them: the window system, the Windows
# style, and JPEG, the format of the preview pictures. They go where Qt looks first, in
# folders beside the program.
set(plugin_files "")
foreach(plugin Qt6::QWindowsIntegrationPlugin Qt6::QWindowsVistaStylePlugin Qt6::QJpegPlugin)
    get_target_property(file ${plugin} IMPORTED_LOCATION_RELEASE)
    if(NOT file)
        get_target_property(file ${plugin} LOCATION)
    endif()
    get_filename_component(folder "${file}" DIRECTORY)
    get_filename_component(kind "${folder}" NAME)
    install(FILES "${file}" DESTINATION ${CMAKE_INSTALL_BINDIR}/${kind})
    list(APPEND plugin_files "${file}")
endforeach()

# The DLLs the programs and those plugins need, found among Qt's and the compiler's; what is
# not found there must be part of Windows.
get_target_property(qt_core Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin "${qt_core}" DIRECTORY)
set(dll_dirs "${qt_bin}" ${CORVANE_WINDOWS_RUNTIME_DIRS})
if(NOT CMAKE_HOST_WIN32)
    # Windows names are looked up in lower case, which a case-sensitive file system does not
    # find: each DLL of Qt gets a lower-case name too, resolved back to its own when installed.
    set(lower_names "${CMAKE_CURRENT_BINARY_DIR}/dll-names")
    file(MAKE_DIRECTORY "${lower_names}")
    file(GLOB qt_dlls "${qt_bin}/*.dll")
    foreach(dll IN LISTS qt_dlls)
        get_filename_component(name "${dll}" NAME)
        string(TOLOWER "${name}" lower)
        file(CREATE_LINK "${dll}" "${lower_names}/${lower}" SYMBOLIC)
    endforeach()
    list(PREPEND dll_dirs "${lower_names}")
endif()
set(tool_settings "")
if(CMAKE_CROSSCOMPILING)
    find_program(CORVANE_OBJDUMP NAMES ${CORVANE_MINGW_PREFIX}-objdump objdump REQUIRED)
    set(tool_settings "set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
        set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
        set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND [[${CORVANE_OBJDUMP}]])")
endif()
install(CODE "
    ${tool_settings}
    file(GET_RUNTIME_DEPENDENCIES
        EXECUTABLES $<TARGET_FILE:Corvane> $<TARGET_FILE:Kestro> $<TARGET_FILE:Kestrokiosk>
                    $<TARGET_FILE:corvane-check>
        LIBRARIES ${plugin_files}
        DIRECTORIES ${dll_dirs}
        PRE_EXCLUDE_REGEXES [[^api-ms-]] [[^ext-ms-]]
        POST_EXCLUDE_REGEXES [[.*[/\\\\][Ss][Yy][Ss][Tt][Ee][Mm]32[/\\\\].*]]
        RESOLVED_DEPENDENCIES_VAR found
        UNRESOLVED_DEPENDENCIES_VAR missing)
    foreach(dll IN LISTS missing)
        string(TOLOWER \"\${dll}\" dll)
        if(dll MATCHES [[^(qt6|lib)]])
            message(FATAL_ERROR \"\${dll} is needed but not found in ${dll_dirs}\")
        endif()
    endforeach()
    foreach(dll IN LISTS found)
        file(REAL_PATH \"\${dll}\" dll)
        file(INSTALL \"\${dll}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
        # The compiler's DLLs come with their debugging information: most of their size.
        get_filename_component(name \"\${dll}\" NAME)
        if(EXISTS [[${CMAKE_STRIP}]] AND name MATCHES [[^lib]])
            execute_process(COMMAND [[${CMAKE_STRIP}]] --strip-debug
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${name}\")
        endif()
    endforeach()
")

set(CPACK_PACKAGE_NAME Corvane)
set(CPACK_PACKAGE_VENDOR "The Corvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "slide show controllers for several displays")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "corvane-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Corvane)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/copyright)
set(CPACK_STRIP_FILES ON)
# Start-menu entries: program file, then the entry's name.
set(CPACK_PACKAGE_EXECUTABLES Corvane Corvane Kestro Kestro Kestrokiosk Kestrokiosk)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ${CMAKE_INSTALL_BINDIR})
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Corvane ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Corvane, Kestro and Kestrokiosk")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The programs are 64-bit: so is the installer, which then writes to the 64-bit registry and
# Program Files.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_GENERATOR ZIP NSIS)
include(CPack)
