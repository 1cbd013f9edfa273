# Work folder and setup launcher. The text rules (quoting, folder naming,
# bounded joins) are portable; the platform calls are Windows only.
target_sources(velta_download PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WorkFolderPath.cpp)
if(WIN32)
  target_sources(velta_download PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/WorkFolder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SetupLauncher.cpp)
endif()
