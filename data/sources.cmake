target_sources(OrvCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/XP_XmlModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XP_XmlReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XP_XmlStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XP_ParamIO.cpp)
