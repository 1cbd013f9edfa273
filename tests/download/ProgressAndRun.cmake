# Progress arithmetic and file names (portable, native and Windows); the
# progress window and the download run against the loopback test server
# under Wine.
velta_add_test(progress_core_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ProgressDisplayTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileNameTest.cpp
  LIBS velta_core
  LABELS core)

if(WIN32)
  # Served as the first file of a product and started as its setup.
  add_executable(download_setup_fixture ${CMAKE_CURRENT_LIST_DIR}/DownloadRunSetupFixture.cpp)
  target_link_options(download_setup_fixture PRIVATE -s)

  velta_add_test(download_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/DownloadRunTestSupport.cpp
      ${CMAKE_CURRENT_LIST_DIR}/DownloadRunTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/DownloadRunDebugOutputTest.cpp
    LIBS velta_win velta_test_support
    LABELS windows
    TIMEOUT 240)
  # Template 110 comes from the program's own resources, in this module.
  velta_add_resources(download_tests)
  # The tests find the fixture beside themselves.
  add_dependencies(download_tests download_setup_fixture)
endif()
