# Runs TOOL on BOARD and expects exit status 1, the one error line naming the
# file, the line and the key (EXPECT), and nothing on stdout: nothing ran.
execute_process(COMMAND ${TOOL} ${BOARD} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "exit status ${rc}, expected 1")
endif()
if(NOT out STREQUAL "")
  message(FATAL_ERROR "something ran:\n${out}")
endif()
if(NOT err STREQUAL "board-boot: ${EXPECT}\n")
  message(FATAL_ERROR "unexpected error text: ${err}")
endif()
