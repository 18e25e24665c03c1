# orvalis_add_test(NAME n SOURCES s... LIBS l... [LABELS a...] [GL])
#
# One place registers every test with CTest. Tests without GL run on the
# offscreen Qt platform; GL tests get the label "gl" and are run under
# xvfb-run by the test script (they need a real X server and Mesa).
function(orvalis_add_test)
  cmake_parse_arguments(T "GL" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt5::Test)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${T_NAME} PRIVATE
    ORVALIS_SHARED_DATA="${ORVALIS_SHARED_DATA}"
    ORVALIS_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ORVALIS_APP_DIR="${ORVALIS_APP_DIR}")
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set(labels ${T_LABELS})
  if(T_GL)
    list(APPEND labels gl)
  else()
    set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${labels}" TIMEOUT ${T_TIMEOUT})
endfunction()

# Every tst_*.cpp in the calling folder and its domain folders becomes one test linked against LIBS,
# except those named in EXCLUDE (registered by the folder itself).
function(orvalis_add_test_folder)
  cmake_parse_arguments(F "GL" "" "LIBS;LABELS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  foreach(src ${tests})
    get_filename_component(name ${src} NAME_WE)
    if(name IN_LIST F_EXCLUDE)
      continue()
    endif()
    if(F_GL)
      orvalis_add_test(NAME ${name} SOURCES ${src} LIBS ${F_LIBS} LABELS ${F_LABELS} GL)
    else()
      orvalis_add_test(NAME ${name} SOURCES ${src} LIBS ${F_LIBS} LABELS ${F_LABELS})
    endif()
  endforeach()
endfunction()
