# Qt for a cross build of the programs for Windows. A Qt named by CMAKE_PREFIX_PATH or Qt6_DIR is
# used as it is; otherwise the archive of Qt for mingw-w64 that the build machine provides
# (CORVANE_WINDOWS_QT_ARCHIVE) is unpacked into the build folder once.
set(CORVANE_WINDOWS_QT_ARCHIVE "${PROJECT_SOURCE_DIR}/../shared/toolchains/qt6.4.2-mingw-w64.tar.xz"
    CACHE FILEPATH "Qt for x86_64-w64-mingw32, unpacked into the build when no Qt is named")

if(NOT CMAKE_PREFIX_PATH AND NOT Qt6_DIR)
    set(unpacked "${CMAKE_BINARY_DIR}/qt6-mingw")
    if(NOT EXISTS "${unpacked}/lib/cmake/Qt6/Qt6Config.cmake")
        if(NOT EXISTS "${CORVANE_WINDOWS_QT_ARCHIVE}")
            message(FATAL_ERROR "No Qt for Windows: name one with -DCMAKE_PREFIX_PATH=<Qt for mingw-w64>, "
                                "or provide ${CORVANE_WINDOWS_QT_ARCHIVE}.")
        endif()
        message(STATUS "Unpacking ${CORVANE_WINDOWS_QT_ARCHIVE}")
        file(ARCHIVE_EXTRACT INPUT "${CORVANE_WINDOWS_QT_ARCHIVE}" DESTINATION "${CMAKE_BINARY_DIR}/qt-unpacking")
        file(GLOB top LIST_DIRECTORIES true "${CMAKE_BINARY_DIR}/qt-unpacking/*")
        file(RENAME "${top}" "${unpacked}")
        file(REMOVE_RECURSE "${CMAKE_BINARY_DIR}/qt-unpacking")
        # The offscreen platform, which the tests run on, reads font files from Qt's lib/fonts
        # only (a Qt for Windows ignores QT_QPA_FONTDIR): Liberation Sans, as on Linux.
        file(GLOB fonts /usr/share/fonts/truetype/liberation2/*.ttf)
        file(MAKE_DIRECTORY "${unpacked}/lib/fonts")
        foreach(font IN LISTS fonts)
            get_filename_component(name "${font}" NAME)
            file(CREATE_LINK "${font}" "${unpacked}/lib/fonts/${name}" SYMBOLIC)
        endforeach()
    endif()
    set(CMAKE_PREFIX_PATH "${unpacked}" CACHE PATH "Qt for Windows" FORCE)
endif()
# The toolchain searches packages only below its roots; Qt's folders become roots too.
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
