target_sources(OrvCore PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/VSYST_DumpStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/V_Exception.cpp
  ${CMAKE_CURRENT_LIST_DIR}/V_MsgBox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VSYST_DIManager.cpp
  ${CMAKE_CURRENT_LIST_DIR}/V_DebugSettings.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VSYST_ApplInitExit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VDIAG_TlsMan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VDIAG_FailureDiagnostics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VDIAG_SecurityDump.cpp)
