# Progress arithmetic and file names are portable (fuzzed natively); the
# window and the run need the platform.
target_sources(velta_download PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ProgressDisplay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileName.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FilePlan.cpp)
if(WIN32)
  target_sources(velta_download PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ProgressWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DownloadRun.cpp)
endif()
