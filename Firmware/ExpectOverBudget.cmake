# cmake -DCOMMAND="peim-report;sizes;..." -P ExpectOverBudget.cmake
# Fails unless the report command, given budgets the images exceed, exits 1
# and names what is over: the budget check can fail.
execute_process(COMMAND ${COMMAND} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 1 OR NOT output MATCHES "OVER BUDGET")
  message(FATAL_ERROR "expected exit 1 and OVER BUDGET, got exit ${status}:\n${output}${errors}")
endif()
message(STATUS "rejected as it should be:\n${output}")
