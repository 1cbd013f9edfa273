# Progress arithmetic, file names and the run's plan are portable (fuzzed
# natively); the window, the run and the file identity it asks of the file
# system need the platform.
target_sources(velta_download PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ProgressDisplay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileName.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FilePlan.cpp)
if(WIN32)
  target_sources(velta_download PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ProgressWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FileIdentity.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DownloadRun.cpp)
endif()
