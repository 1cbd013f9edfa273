# fuzz/download: the setup's command-line quoting.
velta_add_fuzzer(quoted_arg_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/QuotedArgFuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/quoted_arg_fuzz)
