# Resources of an executable, from one list file shared by both builds.
#
# A list file has one resource per line: NAME TYPE PATH (PATH relative to the
# list file); '#' starts a comment line. On Windows the resources go into the
# module through windres; elsewhere a generated source compiles them into a
# table that ResourceStream reads (resources/resource_table.h).

set(TESSERA_EMBED_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/EmbedResources.cmake")

function(tessera_resource_entries list_file out_var)
  get_filename_component(base "${list_file}" DIRECTORY)
  file(STRINGS "${list_file}" lines REGEX "^[ \t]*[^# \t]" ENCODING UTF-8)
  set(entries "")
  foreach(line IN LISTS lines)
    string(REGEX MATCHALL "[^ \t]+" fields "${line}")
    list(LENGTH fields n)
    if(NOT n EQUAL 3)
      message(FATAL_ERROR "${list_file}: expected NAME TYPE PATH in '${line}'")
    endif()
    list(GET fields 0 name)
    list(GET fields 1 type)
    list(GET fields 2 path)
    get_filename_component(path "${path}" ABSOLUTE BASE_DIR "${base}")
    list(APPEND entries "${name}|${type}|${path}")
  endforeach()
  set(${out_var} "${entries}" PARENT_SCOPE)
endfunction()

function(tessera_embed_resources target list_file)
  get_filename_component(list_file "${list_file}" ABSOLUTE)
  tessera_resource_entries("${list_file}" entries)
  set(paths "")
  foreach(entry IN LISTS entries)
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 2 path)
    list(APPEND paths "${path}")
  endforeach()

  if(WIN32)
    set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc")
    add_custom_command(OUTPUT "${out}"
      COMMAND ${CMAKE_COMMAND} -DLIST=${list_file} -DOUTPUT=${out} -DFORMAT=rc -P ${TESSERA_EMBED_SCRIPT}
      DEPENDS "${list_file}" ${TESSERA_EMBED_SCRIPT}
      COMMENT "Listing resources of ${target}")
    set_source_files_properties("${out}" PROPERTIES OBJECT_DEPENDS "${paths}")
  else()
    set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp")
    add_custom_command(OUTPUT "${out}"
      COMMAND ${CMAKE_COMMAND} -DLIST=${list_file} -DOUTPUT=${out} -DFORMAT=cpp -P ${TESSERA_EMBED_SCRIPT}
      DEPENDS "${list_file}" ${paths} ${TESSERA_EMBED_SCRIPT}
      COMMENT "Embedding resources of ${target}")
  endif()
  target_sources(${target} PRIVATE "${out}")
endfunction()
