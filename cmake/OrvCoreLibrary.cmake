# The DLL OrvCore_Rudaru20. Each source folder lists its own files in a
# sources.cmake that appends to the target.

add_library(OrvCore SHARED)
set_target_properties(OrvCore PROPERTIES
  OUTPUT_NAME OrvCore_Rudaru20
  PREFIX ""
  IMPORT_PREFIX "lib"
  IMPORT_SUFFIX ".dll.a")
target_include_directories(OrvCore
  PUBLIC  $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/include> $<INSTALL_INTERFACE:include>
  PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(OrvCore PRIVATE ORVCORE_BUILDING_DLL)
orv_target_defaults(OrvCore)
target_link_libraries(OrvCore PRIVATE advapi32 user32 gdi32 shell32 ole32 oleaut32 version rpcrt4)
# No link time stamp: the same sources give the same DLL.
target_link_options(OrvCore PRIVATE -Wl,--no-undefined -Wl,--no-insert-timestamp)

foreach(dir strings diag system common/v_tools/v_etc/registry data dllmain)
  # A sources.cmake appearing in a folder re-runs the configuration.
  if(IS_DIRECTORY ${CMAKE_SOURCE_DIR}/${dir})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir})
  endif()
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/sources.cmake)
    include(${CMAKE_SOURCE_DIR}/${dir}/sources.cmake)
  endif()
endforeach()

add_library(OrvCore::OrvCore ALIAS OrvCore)

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
install(TARGETS OrvCore EXPORT OrvCoreTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${ORV_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT OrvCoreTargets NAMESPACE OrvCore:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvCore)
set(ORV_RUNTIME_DLL_NAMES)
foreach(dll IN LISTS ORV_RUNTIME_DLLS)
  get_filename_component(name ${dll} NAME)
  list(APPEND ORV_RUNTIME_DLL_NAMES ${name})
endforeach()
configure_package_config_file(cmake/OrvCoreConfig.cmake.in
  ${CMAKE_BINARY_DIR}/OrvCoreConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvCore
  PATH_VARS CMAKE_INSTALL_BINDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/OrvCoreConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/OrvCoreConfig.cmake ${CMAKE_BINARY_DIR}/OrvCoreConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvCore)

# What is installed is a release: the debug sections go into <file>.debug beside
# each program and DLL, linked to it by a debug link. Loading a DLL under Wine
# reads its debug sections too (tens of MB with the C++ run-time), so a stripped
# tree loads many times faster. The binutils are those of the toolchain's
# Debian package; a same-named program elsewhere on the PATH does not count.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(binutils_pkg binutils-mingw-w64-x86-64)
else()
  set(binutils_pkg binutils-mingw-w64-i686)
endif()
execute_process(COMMAND dpkg-query -L ${binutils_pkg} OUTPUT_VARIABLE pkg_files ERROR_QUIET)
string(REGEX MATCH "[^\n]*/bin/[^/\n]*-objcopy(\n|$)" ORV_OBJCOPY "${pkg_files}")
string(REGEX MATCH "[^\n]*/bin/[^/\n]*-objdump(\n|$)" ORV_OBJDUMP "${pkg_files}")
string(STRIP "${ORV_OBJCOPY}" ORV_OBJCOPY)
string(STRIP "${ORV_OBJDUMP}" ORV_OBJDUMP)
if(ORV_OBJCOPY AND ORV_OBJDUMP)
  string(CONCAT ORV_SPLIT_DEBUG_CODE
      "set(ORV_OBJCOPY \"${ORV_OBJCOPY}\")\nset(ORV_OBJDUMP \"${ORV_OBJDUMP}\")\n"
      "set(ORV_SPLIT_DIR \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")\n"
      "include(\"${CMAKE_SOURCE_DIR}/cmake/OrvSplitDebug.cmake\")")
else()
  message(WARNING "${binutils_pkg} not installed: cmake --install keeps the debug sections in the installed files")
endif()
