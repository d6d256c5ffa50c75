# Build conventions shared by every target of the project.

if(ROUTER_SANITIZE)
  add_compile_options(-fsanitize=${ROUTER_SANITIZE} -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ROUTER_SANITIZE})
endif()

# Only the shared libraries a program really calls into are recorded as needed, so the board's
# list of libraries to carry stays honest (libstdc++ must not be among them).
add_link_options(-Wl,--as-needed)

# The board's programs are position-independent executables (the cross compiler's default,
# made explicit here). Measured on the seven product programs, MIPS, stripped, in all: as PIE
# 211,568 bytes of files, 193,594 of code and data, 106,791 gzipped; with ROUTER_PIE=OFF
# (-fno-PIE -no-pie) 192,796, 177,780 and 100,551: 8% less, 6% less compressed as flash
# stores it. PIE stays: 6 to 16 KB is little beside what the C library takes, and the daemons
# that parse bytes from a server, a card or a serial line keep their code at an address an
# attacker cannot know.
option(ROUTER_PIE "Board build: position-independent executables" ON)
if(CMAKE_CROSSCOMPILING)
  if(ROUTER_PIE)
    add_compile_options(-fPIE)
    add_link_options(-pie)
  else()
    add_compile_options(-fno-PIE)
    add_link_options(-no-pie)
  endif()
endif()

# The board's libraries from the build's own sysroot (cmake/toolchain-mipsel.cmake) need
# each other at link time.
if(CMAKE_CROSSCOMPILING)
  if(ROUTER_MIPS_SYSROOT AND NOT EXISTS ${ROUTER_MIPS_SYSROOT}/.packages)
    message(FATAL_ERROR "the board's sysroot ${ROUTER_MIPS_SYSROOT} is missing: run scripts/deps.sh")
  endif()
  foreach(dir IN LISTS ROUTER_MIPS_LIBDIRS)
    add_link_options(-Wl,-rpath-link,${dir})
  endforeach()
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

# A product program, landing in bin/. INSTALL says where it goes on the board (`make rootfs`):
#   daemon   a resident program, usr/sbin, component "board"
#   tool     a command run by hand or by scripts, usr/bin, component "board"
#   standin  this project's stand-in for a command the board brings itself (nvram, mtd, ...),
#            usr/sbin, component "standins": never in the staging root, since the board has its
#            own; `cmake --install` without a component would install them too.
function(router_program name)
  cmake_parse_arguments(P "" "INSTALL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  router_product(${name})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  # The few arithmetic helpers a program uses (64-bit division) are linked in, rather than
  # making libgcc_s.so a library the program needs.
  target_link_options(${name} PRIVATE -static-libgcc)
  file(RELATIVE_PATH dir ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(NOT dir MATCHES "^(sim|tests|bench)(/|$)")  # simulated peers are test equipment
    set_property(GLOBAL APPEND PROPERTY ROUTER_PROGRAMS ${name})
  endif()
  if(P_INSTALL STREQUAL "daemon")
    install(TARGETS ${name} RUNTIME DESTINATION usr/sbin COMPONENT board)
    set_property(GLOBAL APPEND PROPERTY ROUTER_BOARD_PROGRAMS usr/sbin/${name})
  elseif(P_INSTALL STREQUAL "tool")
    install(TARGETS ${name} RUNTIME DESTINATION usr/bin COMPONENT board)
    set_property(GLOBAL APPEND PROPERTY ROUTER_BOARD_PROGRAMS usr/bin/${name})
  elseif(P_INSTALL STREQUAL "standin")
    install(TARGETS ${name} RUNTIME DESTINATION usr/sbin COMPONENT standins)
  elseif(P_INSTALL)
    message(FATAL_ERROR "router_program(${name}): INSTALL is daemon, tool or standin")
  endif()
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

# In the build directory: product_programs.txt, the product programs, one a line; and
# board_programs.txt, the programs of the staging root as paths in it (usr/sbin/modemd, ...),
# which the target board_programs builds, for `make rootfs` and the size table of `make bench`.
function(router_write_program_list)
  get_property(programs GLOBAL PROPERTY ROUTER_PROGRAMS)
  list(SORT programs)
  list(JOIN programs "\n" text)
  file(WRITE ${CMAKE_BINARY_DIR}/product_programs.txt "${text}\n")
  get_property(board GLOBAL PROPERTY ROUTER_BOARD_PROGRAMS)
  list(JOIN board "\n" text)
  file(WRITE ${CMAKE_BINARY_DIR}/board_programs.txt "${text}\n")
  set(targets "")
  foreach(path IN LISTS board)
    get_filename_component(target ${path} NAME)
    list(APPEND targets ${target})
  endforeach()
  add_custom_target(board_programs DEPENDS ${targets})
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL router_write_program_list)
