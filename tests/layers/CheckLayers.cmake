# Fails when a source file includes a header of a layer above its own. The libraries already
# refuse such an include in every file they compile; this check also covers headers that only
# higher layers compile, and the tools, which may use nothing above the net layer.
#
#   cmake -DSOURCE_ROOT=<checkout> -P CheckLayers.cmake

set(layers platform codec i18n config logging net plugins chat server admin admin-gui app)
set(tools_ceiling net)

if(NOT SOURCE_ROOT)
  message(FATAL_ERROR "SOURCE_ROOT is not set")
endif()

function(layer_rank name out)
  list(FIND layers ${name} rank)
  set(${out} ${rank} PARENT_SCOPE)
endfunction()

# Checks every file under `folder` against the highest layer it may include.
# An include that names a file of `own_root` (a tool's own folders) is not a layer's header.
function(check_folder folder ceiling_rank what own_root)
  file(GLOB_RECURSE files ${folder}/*.hpp ${folder}/*.cpp ${folder}/*.h)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[A-Za-z0-9_-]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*" "\\1" path ${line})
      if(own_root AND EXISTS ${own_root}/${path})
        continue()
      endif()
      string(REGEX REPLACE "/.*" "" target ${path})
      layer_rank(${target} target_rank)
      if(target_rank GREATER ceiling_rank)
        file(RELATIVE_PATH shown ${SOURCE_ROOT} ${file})
        message(SEND_ERROR "${shown} (${what}) includes a header of the higher layer '${target}'")
      endif()
    endforeach()
  endforeach()
endfunction()

foreach(layer IN LISTS layers)
  if(IS_DIRECTORY ${SOURCE_ROOT}/src/${layer})
    layer_rank(${layer} rank)
    check_folder(${SOURCE_ROOT}/src/${layer} ${rank} "layer ${layer}" "")
  endif()
endforeach()

file(GLOB unknown LIST_DIRECTORIES true RELATIVE ${SOURCE_ROOT}/src ${SOURCE_ROOT}/src/*)
foreach(folder IN LISTS unknown)
  if(IS_DIRECTORY ${SOURCE_ROOT}/src/${folder})
    list(FIND layers ${folder} rank)
    if(rank EQUAL -1)
      message(SEND_ERROR "src/${folder} is no layer: add it to the layer order")
    endif()
  endif()
endforeach()

if(IS_DIRECTORY ${SOURCE_ROOT}/tools)
  layer_rank(${tools_ceiling} rank)
  check_folder(${SOURCE_ROOT}/tools ${rank} "tool" ${SOURCE_ROOT}/tools)
endif()
