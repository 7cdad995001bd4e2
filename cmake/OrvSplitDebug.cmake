# Install step: moves the debug sections of every program and DLL in
# ORV_SPLIT_DIR into <file>.debug and links the file to it. A file without
# debug sections (installed before, unchanged) is left as it is.
file(GLOB binaries "${ORV_SPLIT_DIR}/*.dll" "${ORV_SPLIT_DIR}/*.exe")
foreach(bin IN LISTS binaries)
  execute_process(COMMAND ${ORV_OBJDUMP} -h ${bin} OUTPUT_VARIABLE sections RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot read the sections of ${bin}")
  endif()
  if(NOT sections MATCHES "\\.debug_")
    continue()
  endif()
  message(STATUS "Splitting debug information: ${bin}.debug")
  execute_process(COMMAND ${ORV_OBJCOPY} --only-keep-debug ${bin} ${bin}.debug RESULT_VARIABLE rc1)
  execute_process(COMMAND ${ORV_OBJCOPY} --strip-debug --add-gnu-debuglink=${bin}.debug ${bin} RESULT_VARIABLE rc2)
  if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0)
    message(FATAL_ERROR "objcopy failed on ${bin}")
  endif()
endforeach()
