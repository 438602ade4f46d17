# The plugin folder as the host expects it, under the server's folder: the library (and, from an
# MSVC build, its symbols in a component of their own), PluginInfo.json, the admin's guide and the
# schema. Used by the build against the stand-in and by the real build alike; the code takes the
# folder from generated/Version.h.
set(LUMORA_PLUGIN_FOLDER ArkApi/Plugins/${PROJECT_NAME})

function(lumora_install_plugin_folder target)
  install(TARGETS ${target} LIBRARY DESTINATION ${LUMORA_PLUGIN_FOLDER} COMPONENT plugin
                            RUNTIME DESTINATION ${LUMORA_PLUGIN_FOLDER} COMPONENT plugin)
  if(MSVC)
    install(FILES $<TARGET_PDB_FILE:${target}> DESTINATION ${LUMORA_PLUGIN_FOLDER} COMPONENT symbols)
  endif()
  install(FILES ${LUMORA_PLUGIN_INFO} ${PROJECT_SOURCE_DIR}/schema/config.schema.json
          DESTINATION ${LUMORA_PLUGIN_FOLDER} COMPONENT plugin)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/admin-guide.md DESTINATION ${LUMORA_PLUGIN_FOLDER} RENAME README.md
          COMPONENT plugin)
endfunction()
