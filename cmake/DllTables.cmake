# Prints one table of a Windows DLL, its exported names (TABLE=exports) or the DLLs it imports from
# (TABLE=dependents), sorted and joined with commas. Reads it with dumpbin or with mingw-w64's
# objdump, whichever TOOL names, so that the same check runs on Windows and here.
#   cmake -DTOOL=dumpbin|objdump -DTABLE=exports|dependents -DLIBRARY=Lumora.dll -P DllTables.cmake
if(NOT TABLE)
  set(TABLE exports)
endif()
get_filename_component(tool_name "${TOOL}" NAME_WE)
string(TOLOWER "${tool_name}" tool_name)
if(tool_name STREQUAL "dumpbin")
  # From the library's folder, by its name: a path that begins with "/" is an option to dumpbin.
  get_filename_component(library "${LIBRARY}" ABSOLUTE)
  get_filename_component(library_dir "${library}" DIRECTORY)
  get_filename_component(library_name "${LIBRARY}" NAME)
  execute_process(COMMAND "${TOOL}" /nologo /${TABLE} "${library_name}" WORKING_DIRECTORY "${library_dir}"
                  OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
  if(TABLE STREQUAL "exports")
    set(row "^ +[0-9]+ +[0-9A-F]+ +[0-9A-F]+ +([^ ]+)")  # ordinal hint RVA name
  else()
    set(row "^    ([^ ]+\\.[dD][lL][lL])$")  # the indented names under "Image has the following dependencies"
  endif()
else()
  execute_process(COMMAND "${TOOL}" -p "${LIBRARY}" OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
  if(TABLE STREQUAL "exports")
    set(row "^\t\\[ *[0-9]+\\] ([^ +][^ ]*)$")  # the name pointer table: a name alone
  else()
    set(row "^\tDLL Name: ([^ ]+)")
  endif()
endif()
if(failed)
  message(FATAL_ERROR "${TOOL} could not read ${LIBRARY}")
endif()
string(REPLACE "\r" "" listing "${listing}")
string(REPLACE ";" "," listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(names)
foreach(line IN LISTS lines)
  if(line MATCHES "${row}")
    list(APPEND names "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(SORT names)
list(JOIN names "," joined)
execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${joined}")
