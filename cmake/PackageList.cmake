# Run at install time, after the plugin folder and the checker are in place: writes the list of
# the plugin folder's files, with their sizes and SHA-256 sums, that lumora-config install checks a
# package against (tools/lumora-config/PackageList.h reads it). Set by the install rule:
# LUMORA_LIST_NAME, LUMORA_LIST_VERSION, LUMORA_LIST_FOLDER (the plugin folder) and LUMORA_LIST_FILE.
# A relative prefix (cmake --install --prefix pkg) is taken from the current folder, as the install
# rules take it.
get_filename_component(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
set(folder "${root}/${LUMORA_LIST_FOLDER}")
file(GLOB names LIST_DIRECTORIES false RELATIVE "${folder}" "${folder}/*")
list(SORT names)
set(text "${LUMORA_LIST_NAME} ${LUMORA_LIST_VERSION}\n")
foreach(name IN LISTS names)
  file(SHA256 "${folder}/${name}" sum)
  file(SIZE "${folder}/${name}" size)
  string(APPEND text "${sum} ${size} ${name}\n")
endforeach()
file(WRITE "${root}/${LUMORA_LIST_FILE}" "${text}")
message(STATUS "Listed: ${root}/${LUMORA_LIST_FILE} (${names})")
