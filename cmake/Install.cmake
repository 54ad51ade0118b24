# `make install PREFIX=...`: the shared library and its scene reader, the headers of its exported
# API under include/Zandelle/, the zandelle binary, the resources directory
# (share/zandelle/resources, where the installed binary looks), a CMake
# package (find_package(ZandelleProjectFiles CONFIG) gives the imported
# target ZandelleProjectFiles::ZandelleProjectFiles) and a pkg-config file.
include(GNUInstallDirs)

# The exported API starts at these headers; everything they include from
# src/, directly or not, is installed with them, and nothing else
set(ZANDELLE_API_ENTRY_HEADERS
  Editor/ZandelleEditor.h Tools/ProjectFiles.h Tools/Import.h Tools/Npm.h Tools/NewProject.h
  Tools/Migrations.h Tools/Version.h Shaders/ShaderLoading.h)

function(zandelle_header_closure out)
  set(_pending ${ZANDELLE_API_ENTRY_HEADERS})
  set(_seen)
  while(_pending)
    list(POP_FRONT _pending _header)
    if(_header IN_LIST _seen OR NOT EXISTS ${CMAKE_SOURCE_DIR}/src/${_header})
      continue()
    endif()
    list(APPEND _seen ${_header})
    file(STRINGS ${CMAKE_SOURCE_DIR}/src/${_header} _lines REGEX "^[ \t]*#[ \t]*include[ \t]+\"")
    foreach(_line ${_lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*" "\\1" _included "${_line}")
      list(APPEND _pending ${_included})
    endforeach()
  endwhile()
  list(SORT _seen)
  set(${out} ${_seen} PARENT_SCOPE)
endfunction()
zandelle_header_closure(ZANDELLE_API_HEADERS)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/Install.cmake)
foreach(_header ${ZANDELLE_API_HEADERS})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${_header})
  get_filename_component(_dir ${_header} DIRECTORY)
  install(FILES ${CMAKE_SOURCE_DIR}/src/${_header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/Zandelle/${_dir})
endforeach()

# The library version lives in Tools/Version.h
file(STRINGS ${CMAKE_SOURCE_DIR}/src/Tools/Version.h _version REGEX "#define ZANDELLE_LIBRARY_VERSION")
string(REGEX REPLACE ".*\"([0-9.]+)\".*" "\\1" ZANDELLE_LIBRARY_VERSION "${_version}")
string(REGEX REPLACE "\\..*" "" _soversion "${ZANDELLE_LIBRARY_VERSION}")
set_target_properties(ZandelleProjectFiles PROPERTIES VERSION ${ZANDELLE_LIBRARY_VERSION} SOVERSION ${_soversion})
set_target_properties(zandelle PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")

install(TARGETS ZandelleProjectFiles LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS zandelle RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The library runs the scene reader and the shader check from its own directory
install(TARGETS zandelle-scene-reader zandelle-glsl-check RUNTIME DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${ZANDELLE_RESOURCES_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zandelle/resources)

# Consumers compile the headers with the definitions the library was built with
set(ZANDELLE_API_DEFINITIONS GLM_ENABLE_EXPERIMENTAL GLM_FORCE_CTOR_INIT)
include(CMakePackageConfigHelpers)
set(_package ${CMAKE_BINARY_DIR}/package)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/ZandelleProjectFilesConfig.cmake.in
  ${_package}/ZandelleProjectFilesConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZandelleProjectFiles)
write_basic_package_version_file(${_package}/ZandelleProjectFilesConfigVersion.cmake
  VERSION ${ZANDELLE_LIBRARY_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${_package}/ZandelleProjectFilesConfig.cmake ${_package}/ZandelleProjectFilesConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZandelleProjectFiles)
list(JOIN ZANDELLE_API_DEFINITIONS " -D" _cflags)
set(ZANDELLE_PC_CFLAGS "-D${_cflags}")
# The prefix is found from the file's own place, so any PREFIX works
file(RELATIVE_PATH ZANDELLE_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/ZandelleProjectFiles.pc.in ${_package}/ZandelleProjectFiles.pc @ONLY)
install(FILES ${_package}/ZandelleProjectFiles.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
