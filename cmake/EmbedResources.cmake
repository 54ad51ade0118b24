# Embeds every file under resources/shaders-builtin/<group>/ into the binary as
# a byte array, registered under the group's directory name. The generated
# source defines zandelleEmbeddedResourceGroups(), read by Base/Resource.cpp.
set(_embed_root ${CMAKE_CURRENT_SOURCE_DIR}/resources/shaders-builtin)
file(GLOB_RECURSE _embed_files CONFIGURE_DEPENDS ${_embed_root}/*)
set(_embed_out ${CMAKE_BINARY_DIR}/generated/EmbeddedResources.cpp)
add_custom_command(OUTPUT ${_embed_out}
  COMMAND ${CMAKE_COMMAND} -DROOT=${_embed_root} -DOUT=${_embed_out} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed.cmake
  DEPENDS ${_embed_files} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed.cmake
  COMMENT "Embedding compiled-in resource groups")
add_library(ZandelleEmbeddedResources STATIC ${_embed_out})
