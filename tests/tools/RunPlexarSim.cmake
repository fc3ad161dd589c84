# One run of plexar-sim for CTest; see add_plexar_sim_test in CMakeLists.txt for the variables.
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(console_log "${WORK_DIR}/console.log")

execute_process(
  COMMAND "${SIM}" --plugin "${PLUGIN}" --host-dir "${WORK_DIR}/host"
          --console-log "${console_log}" "${SCENARIO}"
  RESULT_VARIABLE status
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  TIMEOUT 120)

set(run "plexar-sim ${SCENARIO}\n--- stdout:\n${output}--- stderr:\n${errors}")

if(NOT status STREQUAL "${EXPECT_STATUS}")
  message(FATAL_ERROR "exit status ${status}, expected ${EXPECT_STATUS}\n${run}")
endif()

if(NOT EXPECT_STDERR STREQUAL "")
  string(FIND "${errors}" "${EXPECT_STDERR}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "stderr lacks: ${EXPECT_STDERR}\n${run}")
  endif()
endif()

if(EXPECT_NO_OUTPUT AND NOT output STREQUAL "")
  message(FATAL_ERROR "expected no output: nothing may be played\n${run}")
endif()

if(NOT EXPECT_CONSOLE_LOG STREQUAL "")
  file(READ "${console_log}" logged)
  string(REPLACE "|" ";" expected_lines "${EXPECT_CONSOLE_LOG}")
  foreach(expected IN LISTS expected_lines)
    string(FIND "${logged}" "${expected}" found)
    if(found EQUAL -1)
      message(FATAL_ERROR "console log lacks: ${expected}\n--- console log:\n${logged}\n${run}")
    endif()
  endforeach()
endif()
