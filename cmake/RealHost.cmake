# The plugin for a real server: Lumora.dll built with MSVC against the host's SDK and linked against
# the host's import library. Nothing else is built: no stand-in, no tools, no tests.
# In a developer environment of the host's MSVC toolset (buildspec.json; scripts/windows/msvc-env):
#   cmake -S . -B build/real -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=cl \
#         -DLUMORA_ASAAPI_SDK=C:/path/to/AsaApi/Core/Public -DLUMORA_ASAAPI_LIB=C:/path/to/AsaApi.lib
#   cmake --build build/real
# Without the host's AsaApi.lib at hand, build the target lumora_real_objects first and make one
# from what those objects import (scripts/windows/asaapi-import-lib), then build Lumora.
if(NOT MSVC)
  message(FATAL_ERROR "LUMORA_ASAAPI_SDK builds the plugin with MSVC, as the host itself is built")
endif()
if(NOT EXISTS "${LUMORA_ASAAPI_SDK}/API/ARK/Ark.h")
  message(FATAL_ERROR "LUMORA_ASAAPI_SDK must be the SDK's Public folder (it holds API/ARK/Ark.h)")
endif()
if(NOT LUMORA_ASAAPI_LIB)
  message(FATAL_ERROR "LUMORA_ASAAPI_LIB must name the host's import library (AsaApi.lib)")
endif()

# The objects apart from the library, so that an import library can be made from what they import.
add_library(lumora_real_objects OBJECT ${LUMORA_PLUGIN_SOURCES})
# The release runtime in every configuration: std::string, std::function and std::vector cross into
# the host (chat commands, hooks, log sinks), and the host is built with /MD. A Debug build with /MDd
# would free the host's blocks on another heap and read its containers with another layout.
set_target_properties(lumora_real_objects PROPERTIES MSVC_RUNTIME_LIBRARY "MultiThreadedDLL")
target_compile_definitions(lumora_real_objects PRIVATE $<$<CONFIG:Debug>:_ITERATOR_DEBUG_LEVEL=0> UNICODE _UNICODE)
# The SDK's own include paths; sdk-shims adds only fmt/format.h, the fmt bundled with its spdlog.
# The SDK's headers are external (/external:I with /external:W0): their warnings are the SDK's.
target_include_directories(lumora_real_objects PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_include_directories(lumora_real_objects SYSTEM PRIVATE ${LUMORA_ASAAPI_SDK} ${LUMORA_ASAAPI_SDK}/API/UE
                                                              ${PROJECT_SOURCE_DIR}/cmake/sdk-shims)
# Optimised, with full debug information in Lumora.pdb (what an admin sends with a crash dump), and
# the unreferenced and identical code folded away again.
target_compile_options(lumora_real_objects PRIVATE /permissive- /utf-8 /W4 /O2 /Zi /FS)

add_library(Lumora SHARED $<TARGET_OBJECTS:lumora_real_objects>)
set_target_properties(Lumora PROPERTIES OUTPUT_NAME "Lumora" MSVC_RUNTIME_LIBRARY "MultiThreadedDLL")
target_link_libraries(Lumora PRIVATE ${LUMORA_ASAAPI_LIB})
target_link_options(Lumora PRIVATE /DEBUG /OPT:REF /OPT:ICF)
include(${PROJECT_SOURCE_DIR}/cmake/PluginFolder.cmake)
lumora_install_plugin_folder(Lumora)
