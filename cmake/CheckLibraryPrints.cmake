# cmake -DSOURCE_DIR=<repo> -P CheckLibraryPrints.cmake
#
# The workbench's libraries write their messages to one channel,
# core/log/LogSink, which the log view, the status bar and tests subscribe to
# and which echoes the console diagnostics; the shared library below them and
# the tools (common/) prints nothing at all. Fails naming every line of
# workbench/core, scene, ui or common/ that prints.
cmake_minimum_required(VERSION 3.18)

set(errors "")
set(pattern "std::(cout|cerr|clog|printf|puts|fflush)|(^|[^a-zA-Z_:.>])(printf|puts|fputs|fprintf|perror|fflush)[ \t]*\\(|q(Debug|Info|Warning|Critical)[ \t]*\\(")
foreach(dir workbench/core workbench/scene workbench/ui common)
  file(GLOB_RECURSE files ${SOURCE_DIR}/${dir}/*.cpp ${SOURCE_DIR}/${dir}/*.h)
  foreach(file ${files})
    file(RELATIVE_PATH rel ${SOURCE_DIR} ${file})
    if(rel MATCHES "^workbench/core/log/")
      continue()
    endif()
    file(STRINGS ${file} lines)
    set(number 0)
    foreach(line IN LISTS lines)
      math(EXPR number "${number} + 1")
      string(REGEX REPLACE "//.*" "" code "${line}")
      if(code MATCHES "${pattern}")
        string(STRIP "${line}" shown)
        list(APPEND errors "${rel}:${number}: prints past the log channel: ${shown}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(errors)
  list(JOIN errors "\n" text)
  message(FATAL_ERROR "${text}\nWrite through core/log/LogLine or LogSink instead.")
endif()
