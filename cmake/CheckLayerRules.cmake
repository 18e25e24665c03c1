# cmake -DSOURCE_DIR=<repo> -DCORE_QT_DIRS="<dirs>" -P CheckLayerRules.cmake
#
# Checks the include lines of workbench/, common/ and tools/ against the
# layering of docs/ARCHITECTURE.md and fails with every line that breaks a rule:
#  - core includes nothing of scene/ or ui/, only Qt headers of the modules it
#    links (CORE_QT_DIRS), and of OpenSceneGraph only the value types the
#    reconstruction records hold (no viewer, no loaders, no scene builders);
#  - scene includes nothing of ui/; only scene/view (the widget that hosts the
#    GL view) uses Qt Widgets, apart from the sensor list the window hands to
#    scene/sensors (the scene's messages go to the log channel);
#  - the domains of a layer do not depend on each other in a circle;
#  - common includes only itself, nothing of Qt or OpenSceneGraph;
#  - the tools include nothing of the workbench's scene or ui;
#  - no connection names its signal or slot as a string (the SIGNAL and SLOT
#    macros): connections go through member pointers or lambdas, which the
#    compiler checks.
cmake_minimum_required(VERSION 3.18)

set(wb ${SOURCE_DIR}/workbench)
set(errors "")

# The scene-graph headers core may use: math and value types, reference-counted
# handles the reconstruction records keep for the scene, and the thread base of
# the sensor stream.
set(core_osg_allowed
  osg/Array osg/Vec2 osg/Vec2d osg/Vec2f osg/Vec3 osg/Vec3d osg/Vec3f osg/Vec4 osg/Vec4d osg/Vec4f
  osg/Matrix osg/Matrixd osg/Matrixf osg/Quat osg/ref_ptr osg/Referenced
  osg/Group osg/Node osg/MatrixTransform
  OpenThreads/Thread OpenThreads/Mutex OpenThreads/ScopedLock)

function(qt_header_in_dirs header dirs result)
  set(found FALSE)
  foreach(dir ${dirs})
    if(EXISTS "${dir}/${header}")
      set(found TRUE)
    endif()
  endforeach()
  set(${result} ${found} PARENT_SCOPE)
endfunction()

# Qt Widgets headers, to tell them from Qt Gui and Core ones.
set(widget_dirs ${WIDGETS_QT_DIRS})

foreach(layer core scene ui)
  file(GLOB_RECURSE files ${wb}/${layer}/*.cpp ${wb}/${layer}/*.h)
  foreach(file ${files})
    file(RELATIVE_PATH rel ${wb} ${file})
    string(REGEX MATCH "^[a-z]+/[a-z]+" domain "${rel}")
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
      if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
        set(inc ${CMAKE_MATCH_1})
        if(inc MATCHES "^(core|scene|ui)/([a-z]+)/")
          set(to_layer ${CMAKE_MATCH_1})
          set(to_domain ${CMAKE_MATCH_1}/${CMAKE_MATCH_2})
          if(layer STREQUAL "core" AND NOT to_layer STREQUAL "core")
            list(APPEND errors "${rel}: core includes ${inc}")
          elseif(layer STREQUAL "scene" AND to_layer STREQUAL "ui")
            list(APPEND errors "${rel}: scene includes ${inc}")
          elseif(to_layer STREQUAL layer AND NOT to_domain STREQUAL domain)
            set(edge "${domain}>${to_domain}")
            list(APPEND edges_${layer} ${edge})
            list(APPEND why_${domain}_${CMAKE_MATCH_2} "${rel} includes ${inc}")
          endif()
        elseif(inc MATCHES "^common/[a-z]+/")
          # the shared building blocks below every layer
        elseif(NOT inc MATCHES "(\\.moc|moc_.*\\.cpp)$" AND NOT inc MATCHES "^Wire")
          list(APPEND errors "${rel}: \"${inc}\" is not included by its path below workbench/")
        endif()
      elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
        set(inc ${CMAKE_MATCH_1})
        if(layer STREQUAL "core")
          if(inc MATCHES "^(osg|OpenThreads)")
            list(FIND core_osg_allowed ${inc} at)
            if(at EQUAL -1)
              list(APPEND errors "${rel}: core includes the scene graph's <${inc}>")
            endif()
          elseif(inc MATCHES "^Qt([A-Za-z]+)/")
            if(NOT CMAKE_MATCH_1 MATCHES "^(Core|Network|SerialPort|Xml)$")
              list(APPEND errors "${rel}: core includes <${inc}>, which is not of Qt Core, Network, SerialPort or Xml")
            endif()
          elseif(inc MATCHES "^Q")
            qt_header_in_dirs(${inc} "${CORE_QT_DIRS}" ok)
            if(NOT ok)
              list(APPEND errors "${rel}: core includes <${inc}>, which is not of Qt Core, Network, SerialPort or Xml")
            endif()
          endif()
        elseif(layer STREQUAL "scene" AND NOT domain STREQUAL "scene/view" AND inc MATCHES "^Q")
          qt_header_in_dirs(${inc} "${widget_dirs}" widget)
          if(inc MATCHES "^QtWidgets/")
            set(widget TRUE)
          elseif(inc MATCHES "^QListWidget(Item)?$" AND domain STREQUAL "scene/sensors")
            set(widget FALSE)
          endif()
          if(widget)
            list(APPEND errors "${rel}: <${inc}> is a widget, and only scene/view hosts widgets")
          endif()
        endif()
      endif()
    endforeach()
  endforeach()

  # Circles between domains: strip domains that depend on no remaining one
  # until nothing changes; whatever is left lies on or behind a circle.
  if(edges_${layer})
    list(REMOVE_DUPLICATES edges_${layer})
  endif()
  set(remaining ${edges_${layer}})
  set(changed TRUE)
  while(changed)
    set(changed FALSE)
    set(sources "")
    foreach(edge ${remaining})
      string(REPLACE ">" ";" pair ${edge})
      list(GET pair 0 from)
      list(APPEND sources ${from})
    endforeach()
    set(kept "")
    foreach(edge ${remaining})
      string(REPLACE ">" ";" pair ${edge})
      list(GET pair 1 to)
      list(FIND sources ${to} at)
      if(at EQUAL -1)
        set(changed TRUE)
      else()
        list(APPEND kept ${edge})
      endif()
    endforeach()
    set(remaining ${kept})
  endwhile()
  foreach(edge ${remaining})
    string(REPLACE ">" ";" pair ${edge})
    list(GET pair 0 from)
    list(GET pair 1 to)
    string(REGEX REPLACE "^[a-z]+/" "" to_name ${to})
    list(GET why_${from}_${to_name} 0 example)
    list(APPEND errors "${from} -> ${to} lies on or leads into a circle of domains (${example})")
  endforeach()
endforeach()

# Connections by name fail only at run time, with a warning; none are made.
file(GLOB_RECURSE all_sources ${wb}/*)
foreach(file ${all_sources})
  file(RELATIVE_PATH rel ${wb} ${file})
  file(STRINGS ${file} named REGEX "(SIGNAL|SLOT)[ \t]*\\(")
  foreach(line ${named})
    string(STRIP "${line}" shown)
    list(APPEND errors "${rel}: connects by name (SIGNAL/SLOT), not through member pointers: ${shown}")
  endforeach()
endforeach()

# common/ lies below both the workbench and the tools: it includes only
# itself and the standard library, nothing of Qt or the scene graph.
file(GLOB_RECURSE files ${SOURCE_DIR}/common/*.cpp ${SOURCE_DIR}/common/*.h)
foreach(file ${files})
  file(RELATIVE_PATH rel ${SOURCE_DIR} ${file})
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line ${lines})
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      if(NOT CMAKE_MATCH_1 MATCHES "^common/[a-z]+/")
        list(APPEND errors "${rel}: common includes \"${CMAKE_MATCH_1}\", which is not of common/")
      endif()
    elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
      set(inc ${CMAKE_MATCH_1})
      if(inc MATCHES "^(Q|osg|OpenThreads)")
        list(APPEND errors "${rel}: common includes <${inc}>, of Qt or the scene graph")
      endif()
    endif()
  endforeach()
endforeach()

# The tools the workbench starts include nothing of its scene or its window;
# tools/screenshot alone is the workbench itself, photographed.
file(GLOB_RECURSE files ${SOURCE_DIR}/tools/*.cpp ${SOURCE_DIR}/tools/*.h)
foreach(file ${files})
  file(RELATIVE_PATH rel ${SOURCE_DIR} ${file})
  if(rel MATCHES "^tools/screenshot/")
    continue()
  endif()
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line ${lines})
    if(line MATCHES "#[ \t]*include[ \t]*\"((scene|ui)/[^\"]+)\"")
      list(APPEND errors "${rel}: a tool includes ${CMAKE_MATCH_1} of the workbench")
    endif()
  endforeach()
endforeach()

if(errors)
  list(LENGTH errors count)
  string(REPLACE ";" "\n  " text "${errors}")
  message(FATAL_ERROR "${count} line(s) break the layering of docs/ARCHITECTURE.md or connect by name:\n  ${text}")
endif()
message(STATUS "Layering of workbench/, common/ and tools/ kept")
