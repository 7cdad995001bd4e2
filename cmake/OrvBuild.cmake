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

  # Tests run under Wine: the x64 build under wine64, the i686 build under the
  # private 32-bit Wine where this kernel runs 32-bit programs (asked afresh at
  # every configuration, so a later bootstrap switches the tests on).
  set(can_run ON)
  if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine32-setup.sh check RESULT_VARIABLE wine32)
    if(wine32 EQUAL 3)
      message(STATUS "32-bit tests skipped: this kernel cannot run 32-bit programs")
      set(can_run OFF)
    elseif(NOT wine32 EQUAL 0)
      message(WARNING "The 32-bit Wine is not set up, so the win32 tests are not registered: run scripts/bootstrap.sh")
      set(can_run OFF)
    endif()
  endif()
  if(can_run)
    set(ORV_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Private Wine prefix of this build tree")
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh ${ORV_WINEPREFIX} PARENT_SCOPE)
  endif()
  set(ORV_CAN_RUN_TESTS ${can_run} PARENT_SCOPE)
endfunction()
