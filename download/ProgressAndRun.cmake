if(WIN32)
  target_sources(velta_win PRIVATE ${CMAKE_CURRENT_LIST_DIR}/DownloadRun.cpp)
endif()
