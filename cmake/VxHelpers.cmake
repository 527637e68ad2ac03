# vx_native_test(NAME SOURCES ... LIBS ...): a GoogleTest program run natively,
# one CTest entry per test case.
function(vx_native_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    if(WIN32)
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS native)
endfunction()

# vx_wine_test(NAME SOURCES ... LIBS ...): a GoogleTest program built for x86_64
# Windows and run under wine64 as one CTest entry (discovery under Wine is slow).
function(vx_wine_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
    if(NOT WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main)
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES LABELS wine TIMEOUT 300)
endfunction()

# vx_pe_check(NAME TARGET MACHINE [EXPORTS name...]): inspects a built PE file with
# objdump (the i686 build cannot run here): machine type and, if given, exact exports.
function(vx_pe_check name target machine)
    add_test(NAME ${name}
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-pe ${CMAKE_OBJDUMP}
                     $<TARGET_FILE:${target}> ${machine} ${ARGN})
    set_tests_properties(${name} PROPERTIES LABELS pe)
endfunction()

# Adds every direct subfolder that has a CMakeLists.txt, so each piece owns its folder.
macro(vx_add_subfolders)
    file(GLOB _vx_subs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} *)
    foreach(_vx_sub IN LISTS _vx_subs)
        if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_vx_sub}
           AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_vx_sub}/CMakeLists.txt)
            add_subdirectory(${_vx_sub})
        endif()
    endforeach()
endmacro()
