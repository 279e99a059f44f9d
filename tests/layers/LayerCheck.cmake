# Fails when an include runs up the layers or an OS header appears in a portable folder.
# Usage: cmake -DROOT=<source tree> -P LayerCheck.cmake
#
# Layers, lowest first; a folder may include its own layer and those its row names.
#   base      base/ (text helpers)                     -
#   platform  platform/ (seams, portable helpers)      base
#   backend   platform/win32/, platform/posix/         base platform (and its own folder only)
#   core      adapters/ image/ jobs/ settings/ serialno/ base platform
#             (image/ below the rest of core: it includes neither adapters/ nor settings/;
#             memory bounds and file options reach it as values)
#   sim       sim/                                     base platform core
#   shell     app/                                     base platform core
#   front     cli/ app/win32/                          everything but sim and the other backend
# Portable layers (base, platform, core, shell) include no OS header: only the C++ library.
if(NOT ROOT)
  message(FATAL_ERROR "ROOT is not set")
endif()

function(layer_of path out)
  set(layer "")
  if(path MATCHES "^app/win32/" OR path MATCHES "^cli/")
    set(layer front)
  elseif(path MATCHES "^platform/(win32|posix)/")
    set(layer backend)
  elseif(path MATCHES "^platform/")
    set(layer platform)
  elseif(path MATCHES "^base/")
    set(layer base)
  elseif(path MATCHES "^(adapters|image|jobs|settings|serialno)/")
    set(layer core)
  elseif(path MATCHES "^sim/")
    set(layer sim)
  elseif(path MATCHES "^app/")
    set(layer shell)
  endif()
  set(${out} "${layer}" PARENT_SCOPE)
endfunction()

set(allowed_base base)
set(allowed_platform base platform)
set(allowed_backend base platform backend)
set(allowed_core base platform core)
set(allowed_sim base platform core sim)
set(allowed_shell base platform core shell)
set(allowed_front base platform backend core shell front)
set(portable base platform core shell)

set(sources "")
foreach(folder adapters app base cli image jobs platform serialno settings sim)
  file(GLOB_RECURSE found RELATIVE ${ROOT} ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  list(APPEND sources ${found})
endforeach()
set(faults 0)
foreach(file ${sources})
  layer_of("${file}" layer)
  if(layer STREQUAL "")
    continue() # tests, benchmarks, fuzzers, build folders
  endif()
  get_filename_component(dir ${file} DIRECTORY)
  file(STRINGS ${ROOT}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" target "${line}")
    if(line MATCHES "include[ \t]*<")
      list(FIND portable ${layer} is_portable)
      if(is_portable GREATER -1 AND (target MATCHES "\\.h$" OR target MATCHES "/"))
        message(NOTICE "layers: ${file}: OS header <${target}> in a portable folder")
        math(EXPR faults "${faults} + 1")
      endif()
      continue()
    endif()
    layer_of("${target}" to)
    if(to STREQUAL "")
      continue() # a header beside the file
    endif()
    list(FIND allowed_${layer} ${to} ok)
    get_filename_component(to_dir ${target} DIRECTORY)
    if(to STREQUAL "backend" AND layer STREQUAL "backend" AND NOT to_dir STREQUAL dir)
      set(ok -1) # one backend never reaches into the other
    endif()
    if(file MATCHES "^image/" AND target MATCHES "^(adapters|settings)/")
      message(NOTICE "layers: ${file} includes ${target}: image/ knows neither adapters/ nor settings/")
      math(EXPR faults "${faults} + 1")
      continue()
    endif()
    if(ok EQUAL -1)
      message(NOTICE "layers: ${file} (${layer}) includes ${target} (${to}): the include runs up the layers")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) break the layers")
endif()
message(STATUS "layers: every include of ${ROOT} runs down")
