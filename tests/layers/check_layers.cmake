# Run by CTest (cmake -P): fails when a widget-free library links Qt Widgets or a library below
# the log window includes a header of the log window, the New window dialog or the frame.
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

foreach(entry IN LISTS lower_sources)
  string(REGEX MATCH "^[^=]*" library "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" source "${entry}")
  get_filename_component(source_dir ${source} DIRECTORY)
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*" "\\1" named "${line}")
    foreach(base IN ITEMS ${source_dir} ${source_root})
      cmake_path(ABSOLUTE_PATH named BASE_DIRECTORY ${base} NORMALIZE OUTPUT_VARIABLE candidate)
      if(candidate IN_LIST forbidden)
        file(RELATIVE_PATH shown ${source_root} ${source})
        list(APPEND faults "${library}: ${shown} includes ${named}, a header above it")
        break()
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Layering broken:\n  ${text}")
endif()
list(LENGTH probes probe_count)
list(LENGTH lower_sources source_count)
message(STATUS "${probe_count} widget-free libraries link no Qt Widgets; "
               "${source_count} files below the log window include nothing above it")
