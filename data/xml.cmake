# Native build of the XML parameter module alone: the same sources as in the
# DLL, as a static library for the tests, the benchmark and the fuzz target.
add_library(orv_xml STATIC
  ${CMAKE_CURRENT_LIST_DIR}/XP_XmlModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XP_XmlReader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XP_XmlStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XP_ParamIO.cpp)
target_include_directories(orv_xml PUBLIC ${CMAKE_SOURCE_DIR}/include)
target_compile_definitions(orv_xml PUBLIC ORVCORE_STATIC)
orv_target_defaults(orv_xml)
