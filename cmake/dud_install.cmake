# The installed library and everything `cmake --install` puts in place.
#
# dudUdudADOD is the one library a client links: the objects of automation/,
# model/, layout/, sections/ and inspector/ in one archive, or in one shared library
# with BUILD_SHARED_LIBS=ON. The per-subsystem libraries stay as they are:
# the tests and ravoduze link those, so the linker keeps checking that the
# dependencies flow one way.
#
# Installed (GNUInstallDirs, so under <prefix>/lib or lib64 as the platform
# wants):
#   include/dudUdudADOD/dudUdudADOD.h   the umbrella header, and under
#   include/dudUdudADOD/                the headers it includes, found by
#                                       following its #include lines
#   lib/libdudUdudADOD.{a,so}           the library
#   lib/cmake/dudUdudADOD/              find_package(dudUdudADOD CONFIG):
#                                       target dudUdudADOD::dudUdudADOD
#   lib/pkgconfig/dudUdudADOD.pc        pkg-config --cflags --libs dudUdudADOD
#   bin/ravoduze, its man page and its bash completion
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# A shared library needs position-independent objects. (For a static one that
# goes into someone's shared library, pass -DCMAKE_POSITION_INDEPENDENT_CODE=ON.)
if(BUILD_SHARED_LIBS)
  set_target_properties(dud_automation dud_model dud_layout dud_sections dud_inspector
    PROPERTIES POSITION_INDEPENDENT_CODE ON)
endif()

# $<TARGET_OBJECTS> of a static library needs CMake 3.15; the project needs 3.21.
add_library(dudUdudADOD
  $<TARGET_OBJECTS:dud_automation>
  $<TARGET_OBJECTS:dud_model>
  $<TARGET_OBJECTS:dud_layout>
  $<TARGET_OBJECTS:dud_sections>
  $<TARGET_OBJECTS:dud_inspector>)
add_library(dudUdudADOD::dudUdudADOD ALIAS dudUdudADOD)
set_target_properties(dudUdudADOD PROPERTIES
  LINKER_LANGUAGE CXX
  VERSION ${PROJECT_VERSION}
  SOVERSION ${PROJECT_VERSION_MAJOR})
# The umbrella's own #include lines ("automation/client.h") resolve from
# include/dudUdudADOD, so a client's include path holds both directories.
target_include_directories(dudUdudADOD PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/dudUdudADOD>)
target_compile_features(dudUdudADOD PUBLIC cxx_std_20)

# dud_header_closure(OUT HEADER...): the headers (paths from the source root)
# that the given ones include with "...", followed to the end. Editing any of
# them reruns the configuration, so the installed set keeps up.
function(dud_header_closure out)
  set(pending ${ARGN})
  set(found "")
  while(pending)
    list(POP_FRONT pending header)
    if(header IN_LIST found)
      continue()
    endif()
    if(NOT EXISTS "${PROJECT_SOURCE_DIR}/${header}")
      message(FATAL_ERROR "${header}, included by a public header, does not exist")
    endif()
    list(APPEND found "${header}")
    set(path "${PROJECT_SOURCE_DIR}/${header}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
    file(STRINGS "${path}" lines REGEX "^#include \"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
      list(APPEND pending "${included}")
    endforeach()
  endwhile()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(dud_umbrella include/dudUdudADOD/dudUdudADOD.h)
dud_header_closure(dud_public_headers ${dud_umbrella})
list(REMOVE_ITEM dud_public_headers ${dud_umbrella})
install(FILES ${dud_umbrella} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dudUdudADOD)
foreach(header IN LISTS dud_public_headers)
  get_filename_component(dir "${header}" DIRECTORY)
  install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dudUdudADOD/${dir})
endforeach()

install(TARGETS dudUdudADOD EXPORT dudUdudADODTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The CMake package.
set(dud_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/dudUdudADOD)
install(EXPORT dudUdudADODTargets NAMESPACE dudUdudADOD:: DESTINATION ${dud_cmake_dir})
configure_package_config_file(cmake/dudUdudADODConfig.cmake.in
  ${PROJECT_BINARY_DIR}/dudUdudADODConfig.cmake INSTALL_DESTINATION ${dud_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/dudUdudADODConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/dudUdudADODConfig.cmake
  ${PROJECT_BINARY_DIR}/dudUdudADODConfigVersion.cmake
  DESTINATION ${dud_cmake_dir})

# The pkg-config file is written when installing, so that it names the prefix
# given to `cmake --install --prefix`, not the one configured.
foreach(kind INCLUDEDIR LIBDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(DUD_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(DUD_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
set(DUD_PC_PREFIX "@DUD_PC_PREFIX@")  # kept for the second pass, at install time
configure_file(cmake/dudUdudADOD.pc.in ${PROJECT_BINARY_DIR}/dudUdudADOD.pc.in @ONLY)
install(CODE "
  set(DUD_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${PROJECT_BINARY_DIR}/dudUdudADOD.pc.in\"
                 \"${PROJECT_BINARY_DIR}/dudUdudADOD.pc\" @ONLY)")
install(FILES ${PROJECT_BINARY_DIR}/dudUdudADOD.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The program, its manual page and its bash completion.
install(TARGETS ravoduze RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
configure_file(share/ravoduze.1.in ${PROJECT_BINARY_DIR}/ravoduze.1 @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/ravoduze.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES share/ravoduze.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ravoduze)
