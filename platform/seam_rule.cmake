# The rule of the time and process seam (platform/env.h), checked over the product sources:
# nothing but the seam's own files calls the clock, sleeps, forks or execs directly.
#   cmake -DROOT=<source dir> -P seam_rule.cmake
set(kCalls "sleep|usleep|nanosleep|clock_gettime|fork|vfork|execl|execlp|execle|execv|execvp|execve|pthread_cond_timedwait")
file(GLOB_RECURSE sources RELATIVE ${ROOT}
     ${ROOT}/common/*.cpp ${ROOT}/common/*.h ${ROOT}/platform/*.cpp ${ROOT}/platform/*.h
     ${ROOT}/modemd/*.cpp ${ROOT}/modemd/*.h ${ROOT}/rmagent/*.cpp ${ROOT}/rmagent/*.h
     ${ROOT}/serbridge/*.cpp ${ROOT}/serbridge/*.h ${ROOT}/tools/*.cpp ${ROOT}/tools/*.h
     ${ROOT}/cardactivate/*.cpp ${ROOT}/cardactivate/*.h ${ROOT}/statpipe/*.cpp ${ROOT}/statpipe/*.h
     ${ROOT}/resetbtn/*.cpp ${ROOT}/resetbtn/*.h)
set(found "")
foreach(f IN LISTS sources)
  # Tests and their fixtures, and the seam itself.
  if(f MATCHES "_test\\.cpp$|_testing\\.h$|/agent_fixture\\.|^platform/(env|env_fake|process)\\.")
    continue()
  endif()
  file(STRINGS ${ROOT}/${f} lines REGEX "(^|[^A-Za-z0-9_.>:])(${kCalls}) *\\(")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^ *//")
      string(APPEND found "  ${f}: ${line}\n")
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "calls that bypass platform/env.h (use env_now_ms, env_sleep, waitfor, "
                      "_eval, env_spawn or env_cond_wait_until):\n${found}")
endif()
message(STATUS "seam rule: no direct clock, sleep, fork or exec in the product sources")
