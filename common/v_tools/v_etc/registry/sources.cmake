target_sources(OrvCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VSYST_RegistryKey.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VSYST_RegistryStandardKey.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VSYST_RegistryException.cpp)
