# Progress arithmetic and file names (portable, native and Windows); the
# progress window and the download run against the loopback test server
# under Wine.
velta_add_test(progress_core_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ProgressDisplayTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileNameTest.cpp
  LIBS velta_core
  LABELS core)
