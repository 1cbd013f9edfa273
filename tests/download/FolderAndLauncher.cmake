# Work folder and setup launcher tests: the portable text rules natively and
# for Windows, the platform behaviour under Wine with a fixture program that
# stands in for a setup.
velta_add_test(setup_core_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CommandLineTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WorkFolderPathTest.cpp
  LIBS velta_core
  LABELS core)

if(WIN32)
  add_executable(setup_fixture ${CMAKE_CURRENT_LIST_DIR}/fixtures/SetupLauncherFixture.cpp)
  velta_add_test(setup_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/WorkFolderTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/SetupLauncherTest.cpp
    LIBS velta_win velta_test_support
    LABELS windows
    TIMEOUT 180)
  # Both land in this folder's build directory: the tests find the fixture
  # next to themselves.
  add_dependencies(setup_tests setup_fixture)
endif()
