# vcpkg's x64-windows-static-md, with the toolset pinned: static libraries (nothing for the checker
# to carry beside it) on the dynamic release runtime, built by the same MSVC toolset that links
# them (buildspec.json), so that the programs need no newer C++ runtime than the server's.
include("${CMAKE_CURRENT_LIST_DIR}/../Buildspec.cmake")
set(VCPKG_TARGET_ARCHITECTURE x64)
set(VCPKG_CRT_LINKAGE dynamic)
set(VCPKG_LIBRARY_LINKAGE static)
set(VCPKG_PLATFORM_TOOLSET v143)
set(VCPKG_PLATFORM_TOOLSET_VERSION ${LUMORA_MSVC_TOOLSET})
