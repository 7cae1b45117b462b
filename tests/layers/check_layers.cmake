# Run by CTest (cmake -P): fails when a widget-free library links Qt Widgets, a library below
# the log window includes a header of the log window, the New window dialog or the frame, or a
# file of src/ outside store/ (the store and its vesmira-store tool) and config/ (the
# configuration layer) includes a store header. Tests and benchmarks may: they make the store
# layouts they need by hand.
# LAYERS names the file the build wrote with the probes, the sources and the folders above.
cmake_minimum_required(VERSION 3.25)
include(${LAYERS})
set(faults)

# Widgets: the probe of each widget-free library must not need the Widgets shared library.
foreach(probe IN LISTS probes)
  string(REPLACE "=" ";" probe "${probe}")
  list(GET probe 0 library)
  list(GET probe 1 program)
  execute_process(COMMAND ${readelf} -d ${program} OUTPUT_VARIABLE dynamic RESULT_VARIABLE failed)
  if(failed)
    list(APPEND faults "${library}: cannot read ${program}")
  elseif(dynamic MATCHES "\\(NEEDED\\)[^\n]*libQt6Widgets")
    list(APPEND faults "${library} links Qt Widgets")
  endif()
endforeach()

# Includes: every header of the folders above, wherever an include names it from (its folder's
# include root, or the including file's own folder).
set(forbidden)
foreach(dir IN LISTS above_dirs)
  file(GLOB headers ${dir}/*.h)
  list(APPEND forbidden ${headers})
endforeach()
# A lower library's own headers may live in an upper folder (line assembly in logwin/).
foreach(entry IN LISTS lower_sources)
  string(REGEX REPLACE "^[^=]*=" "" source "${entry}")
  list(REMOVE_ITEM forbidden ${source})
endforeach()

# Adds a fault for every include in the "who=file" entries that names one of the headers in
# the list named by forbidden_var, wherever it names it from (its folder's include root, or the
# including file's own folder).
function(check_includes entries forbidden_var why)
  set(found)
  foreach(entry IN LISTS entries)
    string(REGEX MATCH "^[^=]*" who "${entry}")
    string(REGEX REPLACE "^[^=]*=" "" source "${entry}")
    get_filename_component(source_dir ${source} DIRECTORY)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*" "\\1" named "${line}")
      foreach(base IN ITEMS ${source_dir} ${source_root})
        cmake_path(ABSOLUTE_PATH named BASE_DIRECTORY ${base} NORMALIZE OUTPUT_VARIABLE candidate)
        if(candidate IN_LIST ${forbidden_var})
          file(RELATIVE_PATH shown ${source_root} ${source})
          list(APPEND found "${who}: ${shown} includes ${named}, ${why}")
          break()
        endif()
      endforeach()
    endforeach()
  endforeach()
  set(faults ${faults} ${found} PARENT_SCOPE)
endfunction()

check_includes("${lower_sources}" forbidden "a header above it")

# The store: only the store itself, its tool and the configuration layer may include its headers.
file(GLOB store_headers ${source_root}/store/*.h)
file(GLOB_RECURSE all_sources ${source_root}/*.h ${source_root}/*.cpp)
set(store_users)
foreach(source IN LISTS all_sources)
  file(RELATIVE_PATH shown ${source_root} ${source})
  if(NOT shown MATCHES "^(store|config)/")
    string(REGEX MATCH "^[^/]*" folder "${shown}")
    list(APPEND store_users "${folder}=${source}")
  endif()
endforeach()
check_includes("${store_users}" store_headers "a header of the store")

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Layering broken:\n  ${text}")
endif()
list(LENGTH probes probe_count)
list(LENGTH lower_sources source_count)
list(LENGTH store_users user_count)
message(STATUS "${probe_count} widget-free libraries link no Qt Widgets; "
               "${source_count} files below the log window include nothing above it; "
               "${user_count} files outside store/ and config/ include no store header")
