# For the mingw-w64 build the dependencies come as headers from Debian's packages (nlohmann-json3-dev,
# libspdlog-dev, libfmt-dev), and GoogleTest from the sources Debian ships in /usr/src/googletest.
# Only their own header folders are put on the include path, never /usr/include itself.
set(LUMORA_WINDOWS_INCLUDE ${CMAKE_BINARY_DIR}/windows-include)
file(MAKE_DIRECTORY ${LUMORA_WINDOWS_INCLUDE})
foreach(folder nlohmann spdlog fmt)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/setup")
  endif()
  file(CREATE_LINK /usr/include/${folder} ${LUMORA_WINDOWS_INCLUDE}/${folder} SYMBOLIC)
endforeach()

add_library(lumora_header_dependencies INTERFACE)
target_include_directories(lumora_header_dependencies SYSTEM INTERFACE ${LUMORA_WINDOWS_INCLUDE})
add_library(nlohmann_json::nlohmann_json ALIAS lumora_header_dependencies)

# fmt and spdlog are compiled once each, as the packages' own libraries are on Linux: header-only,
# with windows.h under them, they cost every unit of the build about ten seconds more.
add_library(lumora_mingw_fmt STATIC ${CMAKE_CURRENT_LIST_DIR}/mingw/fmt.cpp)
target_link_libraries(lumora_mingw_fmt PUBLIC lumora_header_dependencies)
add_library(lumora_mingw_spdlog STATIC ${CMAKE_CURRENT_LIST_DIR}/mingw/spdlog.cpp)
target_compile_definitions(lumora_mingw_spdlog PUBLIC SPDLOG_COMPILED_LIB SPDLOG_FMT_EXTERNAL)
target_link_libraries(lumora_mingw_spdlog PUBLIC lumora_mingw_fmt)
add_library(fmt::fmt ALIAS lumora_mingw_fmt)
add_library(spdlog::spdlog ALIAS lumora_mingw_spdlog)

# Everything linked statically, so that no runtime DLL must be copied beside the programs.
add_link_options(-static -static-libgcc -static-libstdc++)
