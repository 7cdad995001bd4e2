# Build helpers shared by the library, the tools and the tests.

# Compile options every target of ours gets.
function(orv_target_defaults target)
  target_compile_options(${target} PRIVATE ${ORV_WARNINGS})
  if(WIN32)
    target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  endif()
  if(ORV_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# The C++ run-time is shared across the DLL boundary (exceptions and std::string
# cross it), so the run-time DLLs must sit beside every executable we build.
function(orv_setup_windows_runtime)
  set(dlls)
  foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
      list(APPEND dlls "${path}")
    endif()
  endforeach()
  if(NOT dlls)
    message(FATAL_ERROR "mingw run-time DLLs not found next to ${CMAKE_CXX_COMPILER}")
  endif()
  file(MAKE_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  file(COPY ${dlls} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set(ORV_RUNTIME_DLLS ${dlls} PARENT_SCOPE)

  # Tests run the x64 build under wine; the i686 build cannot execute here.
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(ORV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Private Wine prefix of this build tree")
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh ${ORV_WINEPREFIX} PARENT_SCOPE)
    set(ORV_CAN_RUN_TESTS ON PARENT_SCOPE)
  else()
    set(ORV_CAN_RUN_TESTS OFF PARENT_SCOPE)
  endif()
endfunction()
