target_sources(OrvCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VSYST_VersionInfo.cpp)
