target_sources(OrvCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/dllmain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OrvStatics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OrvBinaryLayout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OrvCore.rc)
