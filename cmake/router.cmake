# Build conventions shared by every target of the project.

if(ROUTER_SANITIZE)
  add_compile_options(-fsanitize=${ROUTER_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ROUTER_SANITIZE})
endif()

# Warnings for the project's own code (not for third-party sources built alongside).
function(router_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow)
  if(ROUTER_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Product code: what runs on the router is built small, without exceptions or RTTI.
function(router_product target)
  router_warnings(${target})
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
endfunction()

# A product program, landing in bin/.
function(router_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  router_product(${name})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
endfunction()

# A GoogleTest executable registered case by case with CTest.
function(router_test name)
  if(NOT ROUTER_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  router_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(T_LABELS)
    # Labels pick suites out for a preset (e.g. the engine's tests under ThreadSanitizer).
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()
