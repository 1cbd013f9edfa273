# fuzz/download: file names from URLs and the progress arithmetic.
velta_add_fuzzer(file_name_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/FileNameFuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/file_name_fuzz)
velta_add_fuzzer(progress_frame_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProgressFrameFuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/progress_frame_fuzz)
