# The project's facts, typed once in buildspec.json (the version in VERSION). Included by the build,
# it sets LUMORA_NAME, LUMORA_DESCRIPTION, LUMORA_HOST_VERSION, LUMORA_SDK_REPOSITORY,
# LUMORA_SDK_COMMIT, LUMORA_MSVC_TOOLSET and LUMORA_MSVC_RELEASE. Run as a script
# (cmake -P cmake/Buildspec.cmake), it prints them as NAME=value lines for GITHUB_ENV.
get_filename_component(_lumora_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
file(READ "${_lumora_root}/buildspec.json" _lumora_spec)
string(JSON LUMORA_NAME GET "${_lumora_spec}" name)
string(JSON LUMORA_DESCRIPTION GET "${_lumora_spec}" description)
string(JSON LUMORA_HOST_VERSION GET "${_lumora_spec}" hostVersion)
string(JSON LUMORA_SDK_REPOSITORY GET "${_lumora_spec}" sdk repository)
string(JSON LUMORA_SDK_COMMIT GET "${_lumora_spec}" sdk commit)
string(JSON LUMORA_MSVC_TOOLSET GET "${_lumora_spec}" msvc toolset)
string(JSON LUMORA_MSVC_RELEASE GET "${_lumora_spec}" msvc release)
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  foreach(_name NAME HOST_VERSION SDK_REPOSITORY SDK_COMMIT MSVC_TOOLSET MSVC_RELEASE)
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "LUMORA_${_name}=${LUMORA_${_name}}")
  endforeach()
endif()
