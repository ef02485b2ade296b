# The programs for Windows. On Windows itself this adds nothing: the compiler is the one of the
# shell the build runs in (the Qt installer's MinGW, or MSVC from a developer prompt) and Qt is
# the one CMAKE_PREFIX_PATH names. Anywhere else they are cross-built with mingw-w64 against a
# Qt built for it (cmake/WindowsQt.cmake finds or unpacks one) and run under wine.
if(CMAKE_HOST_WIN32)
    return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.cmake)

# Qt's code generators (moc, rcc, uic) run on the build machine: the Debian ones.
if(NOT DEFINED QT_HOST_PATH)
    set(QT_HOST_PATH /usr CACHE PATH "Qt of the build machine, for moc, rcc and uic")
endif()
