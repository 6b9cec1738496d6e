# zw_library(<name> SOURCES <files...> [FOLDER <folder>]
#            [PUBLIC <targets...>] [PRIVATE <targets...>] [INCLUDES <dirs...>])
#
# One static library from an explicit list of sources (headers included),
# relative to the calling folder. Its dependants include its headers as
# "<folder>/<header>" (the folder defaults to the calling folder's name).
#
# The library exposes only its own headers: each gets a link in an include
# root of its own in the build tree (include/<name>/<folder>/), and that root,
# never the source folder, is the library's include path. So a source that
# includes the header of a library its target does not link fails to build,
# even when both libraries share a source folder.
function(zw_library name)
  cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;PUBLIC;PRIVATE;INCLUDES" ${ARGN})
  if(NOT ARG_FOLDER)
    get_filename_component(ARG_FOLDER ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  endif()
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  file(REMOVE_RECURSE ${root})
  set(sources "")
  set(compiled FALSE)
  foreach(file IN LISTS ARG_SOURCES)
    set(path ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    if(NOT EXISTS ${path})
      message(FATAL_ERROR "zw_library(${name}): no file ${path}")
    endif()
    list(APPEND sources ${path})
    if(file MATCHES "\\.h$")
      get_filename_component(header ${file} NAME)
      file(MAKE_DIRECTORY ${root}/${ARG_FOLDER})
      file(CREATE_LINK ${path} ${root}/${ARG_FOLDER}/${header} SYMBOLIC)
    else()
      set(compiled TRUE)
    endif()
  endforeach()
  if(compiled)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
    target_include_directories(${name} PUBLIC ${root} ${ARG_INCLUDES})
  else()
    add_library(${name} INTERFACE ${sources})
    target_link_libraries(${name} INTERFACE ${ARG_PUBLIC})
    target_include_directories(${name} INTERFACE ${root} ${ARG_INCLUDES})
  endif()
endfunction()
