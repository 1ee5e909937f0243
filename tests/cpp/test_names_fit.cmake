# Fails when a test's name is longer than MAX_LENGTH characters: ctest pads
# every line of its report to the longest name, so one long name widens them all.
# In: CTEST_COMMAND, BUILD_DIR, MAX_LENGTH.
execute_process(COMMAND "${CTEST_COMMAND}" --test-dir "${BUILD_DIR}" -N
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "ctest -N failed: ${status}")
endif()
# List separators and brackets in a name would split it or join it to the next.
string(REPLACE ";" "_" listing "${listing}")
string(REPLACE "[" "_" listing "${listing}")
string(REPLACE "]" "_" listing "${listing}")
string(REGEX MATCHALL "Test +#[0-9]+: [^\n]*" entries "${listing}")
list(LENGTH entries count)
if(count EQUAL 0)
  message(FATAL_ERROR "ctest -N listed no tests:\n${listing}")
endif()
set(too_long "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^Test +#[0-9]+: " "" name "${entry}")
  string(LENGTH "${name}" length)
  if(length GREATER MAX_LENGTH)
    string(APPEND too_long "\n  ${name} (${length})")
  endif()
endforeach()
if(too_long)
  message(FATAL_ERROR "test names longer than ${MAX_LENGTH} characters:${too_long}")
endif()
message(STATUS "${count} test names, none longer than ${MAX_LENGTH} characters")
