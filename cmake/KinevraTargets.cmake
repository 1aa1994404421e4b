# Helpers shared by the build files of src/, tests/, fuzz/ and bench/.

# Libraries a program of the core needs from the platform.
if(WIN32)
  set(KINEVRA_PLATFORM_LIBS ws2_32 winmm shell32 setupapi iphlpapi advapi32 user32)
else()
  find_package(Threads REQUIRED)
  set(KINEVRA_PLATFORM_LIBS Threads::Threads ${CMAKE_DL_LIBS} rt)
endif()

# kinevra_add_test(NAME SOURCES... [LIBS ...] [LABELS ...])
# One GoogleTest program, registered with ctest as one test. On Windows ctest
# runs it under Wine through the cross-compiling emulator.
function(kinevra_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE kinevra_core kinevra_gtest_main ${T_LIBS})
  if(TARGET gamesim)
    add_dependencies(${name} gamesim)  # tests start it as a real process
  endif()
  if(TARGET rigsim)
    add_dependencies(${name} rigsim)  # the controller on the other end of a pseudo-terminal
  endif()
  if(TARGET vrsim)
    add_dependencies(${name} vrsim)  # a VR tool reading the pose block
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "KINEVRA_REALTIME=0;KINEVRA_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
endfunction()
