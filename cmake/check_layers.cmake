# Fails when a source file includes a header against the layer rules in the
# README, naming the file, the header and the rule. Run by ctest:
#   cmake -DSOURCE_DIR=<repository> -P cmake/check_layers.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

# The shell's units that the layers below it link against; they see no more
# than those layers do.
set(lower_app_units app/app_state.h app/app_state.cpp app/prompt_state.h app/measure_state.h app/app_print.h
    app/app_print.cpp app/stb_units.cpp app/status_line_state.h app/sliced_jobs_state.h)
set(system_only_in_os "X11/|GL/|dbus/|unistd\\.h|sys/|pthread\\.h|fcntl\\.h|dlfcn\\.h|poll\\.h|signal\\.h|dirent\\.h|termios\\.h")

set(violations "")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/os/*.cpp ${SOURCE_DIR}/os/*.h ${SOURCE_DIR}/render/*.cpp ${SOURCE_DIR}/render/*.h
     ${SOURCE_DIR}/types/*.cpp ${SOURCE_DIR}/types/*.h ${SOURCE_DIR}/views/*.cpp ${SOURCE_DIR}/views/*.h
     ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h)

foreach(source IN LISTS sources)
  string(REGEX MATCH "^[a-z]+" folder ${source})
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" header "${line}")
    string(REGEX MATCH "^[ \t]*#[ \t]*include[ \t]*<" is_system "${line}")
    set(rule "")
    if(is_system)
      if(NOT folder STREQUAL "os" AND header MATCHES "^(${system_only_in_os})")
        set(rule "only os/ includes X11 or POSIX headers")
      endif()
    elseif(header MATCHES "^(os|render|types|views|app)/")
      string(REGEX MATCH "^[a-z]+" target ${header})
      if(folder STREQUAL "os" AND NOT target STREQUAL "os")
        set(rule "os/ includes nothing of ours")
      elseif(folder STREQUAL "render" AND NOT target MATCHES "^(os|render)$")
        set(rule "render/ includes only os/")
      elseif(folder STREQUAL "types" AND NOT target MATCHES "^(os|render|types|app)$")
        set(rule "types/ stands on render/ and os/")
      elseif(folder STREQUAL "views" AND NOT target MATCHES "^(os|render|types|views|app)$")
        set(rule "views/ stands on types/, render/ and os/")
      elseif(folder MATCHES "^(types|views)$" AND target STREQUAL "app"
             AND NOT header MATCHES "^app/(app_state|app_print)\\.h$")
        set(rule "of app/, types/ and views/ include only app_state.h and app_print.h")
      elseif(source MATCHES "^render/(pixel_buffer|font)\\." AND header STREQUAL "render/draw_list.h")
        set(rule "the pixel rules and the font's records know nothing of the draw list that replays through them")
      elseif(source IN_LIST lower_app_units AND target STREQUAL "app" AND NOT header IN_LIST lower_app_units)
        set(rule "the units that serve the layers below (app_state, app_print) include only those layers and each other")
      elseif(source IN_LIST lower_app_units AND target STREQUAL "views")
        set(rule "the units that serve the layers below (app_state, app_print) include only those layers and each other")
      elseif((source MATCHES "^app/prompt_" AND header MATCHES "^app/measure_")
             OR (source MATCHES "^app/measure_" AND header MATCHES "^app/prompt_"))
        set(rule "the prompt and the measure meet only through the answer line and the sliced jobs")
      endif()
    endif()
    if(rule)
      string(APPEND violations "${source}: includes ${header}: ${rule}\n")
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Includes against the layer rules (README, \"Which folder may include which\"):\n${violations}")
endif()
message(STATUS "Every include keeps to the layer rules (${CMAKE_CURRENT_LIST_FILE}).")
