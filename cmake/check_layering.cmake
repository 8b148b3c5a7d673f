# cmake -DSOURCE_DIR=<tree> -P check_layering.cmake
# Fails when a product file includes a header of a layer above its own or of a sibling layer,
# in quotes or in angle brackets, and when any file outside app/ includes a header of app/: app/
# starts the program and is the top floor, which only its own tests (tests/app/) may include too.
# Layers, bottom-up (a layer may include only layers with a lower number, and its own):
#   0 resources (identifiers only)   1 base
#   2 settings, localization (siblings: neither includes the other)
#   3 integration   4 integration/dialogs   5 uninstall   6 app
#   7 tools (programs of their own: they may use the layers, but not app/)
set(layer_resources 0)
set(layer_base 1)
set(layer_settings 2)
set(layer_localization 2)
set(layer_integration 3)
set(layer_integration/dialogs 4)
set(layer_uninstall 5)
set(layer_app 6)
set(layer_tools 7)

# The layer unit of a path relative to the tree: a dialogs folder, or a top folder.
function(layer_unit path out)
  if(path MATCHES "^integration/dialogs/")
    set(${out} "integration/dialogs" PARENT_SCOPE)
  elseif(path MATCHES "^([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# The header named by an include line into ${out}, and whether it was in angle brackets into
# ${out}_angled; ${out} is empty for a line that names none.
function(included_header line out)
  set(${out}_angled FALSE PARENT_SCOPE)
  if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
    set(${out}_angled TRUE PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

set(include_pattern "^[ \t]*#[ \t]*include[ \t]*[\"<]")
set(app_rule "app/ is the top floor: only app/ and tests/app/ include it")

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/base/*.cpp ${SOURCE_DIR}/base/*.h
     ${SOURCE_DIR}/settings/*.cpp ${SOURCE_DIR}/settings/*.h
     ${SOURCE_DIR}/localization/*.cpp ${SOURCE_DIR}/localization/*.h
     ${SOURCE_DIR}/integration/*.cpp ${SOURCE_DIR}/integration/*.h
     ${SOURCE_DIR}/uninstall/*.cpp ${SOURCE_DIR}/uninstall/*.h
     ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h
     ${SOURCE_DIR}/tools/*.cpp ${SOURCE_DIR}/tools/*.h)
set(violations "")
set(checked 0)
foreach(source IN LISTS sources)
  layer_unit(${source} from)
  # The whole tree is the include folder, so <integration/...> reaches the same header as
  # "integration/...": both forms are checked. A header in angle brackets from outside the tree
  # (<sys/stat.h>) names no layer and is passed over; one in quotes must name a layer.
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "${include_pattern}")
  foreach(line IN LISTS includes)
    included_header("${line}" header)
    if(header STREQUAL "")
      continue()
    endif()
    layer_unit(${header} to)
    if(to STREQUAL "" OR to STREQUAL from OR (header_angled AND NOT DEFINED layer_${to}))
      continue()
    endif()
    math(EXPR checked "${checked} + 1")
    if(to STREQUAL "app")
      list(APPEND violations "${source}: includes ${header} (${app_rule})")
    elseif(NOT DEFINED layer_${to})
      list(APPEND violations "${source}: includes ${header} from a folder outside the layers")
    elseif(NOT layer_${to} LESS layer_${from})
      list(APPEND violations "${source}: includes ${header} (${to} is not below ${from})")
    endif()
  endforeach()
endforeach()

# The test programs stand outside the layers, but a test that reaches into app/ for something
# the layers below use would hide that it belongs lower down.
file(GLOB_RECURSE test_sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.c ${SOURCE_DIR}/tests/*.h)
foreach(source IN LISTS test_sources)
  if(source MATCHES "^tests/app/")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "${include_pattern}")
  foreach(line IN LISTS includes)
    included_header("${line}" header)
    if(header MATCHES "^app/")
      list(APPEND violations "${source}: includes ${header} (${app_rule})")
    endif()
  endforeach()
endforeach()

if(checked EQUAL 0 OR NOT test_sources)
  message(FATAL_ERROR "no include between folders or no test found under ${SOURCE_DIR}: is SOURCE_DIR right?")
endif()
if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "includes that reach up or sideways, or into app/:\n  ${text}")
endif()
message(STATUS "${checked} includes between folders, all pointing down; none into app/ from outside it")
