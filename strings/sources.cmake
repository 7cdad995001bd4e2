target_sources(OrvCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/orv_numtext.cpp
  ${CMAKE_CURRENT_LIST_DIR}/V_String.cpp
  ${CMAKE_CURRENT_LIST_DIR}/V_ASArchive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/V_StringPool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/V_GlobalInstance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/V_SIManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/V_BSTR.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VSYST_Symbol.cpp)
