include(${CMAKE_CURRENT_LIST_DIR}/CorvaneWine.cmake)

# corvane_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <seconds>] [LABELS <labels...>])
# One QtTest executable per test file, run by CTest.
function(corvane_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt6::Test platform_testing ${T_LIBS})
    if(CORVANE_WINE)
        # Under wine QtTest's log to a pipe is lost: it goes to a file, shown afterwards.
        add_test(NAME ${name} COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/wine_qtest.sh
                 ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${name}>)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    endif()
    corvane_wine_tests(${name})
endfunction()
