# cmake -DCHECK=<check_layering.cmake> -DWORK_DIR=<folder> -P planted_violations.cmake
# The layering check must fail on each kind of include it forbids: a tree with one include of each
# kind planted is checked, and every one must be named; the same tree without them must pass.
set(tree ${WORK_DIR}/planted-tree)
file(REMOVE_RECURSE ${tree})
file(WRITE ${tree}/app/options.h "#pragma once\n")
file(WRITE ${tree}/base/paths.h "#pragma once\n")
file(WRITE ${tree}/localization/language.h "#pragma once\n")
file(WRITE ${tree}/settings/registry.cpp "#include \"base/paths.h\"\n")
file(WRITE ${tree}/tests/base/paths_test.cpp "#include \"base/paths.h\"\n")

function(run_check out_result out_text)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${tree} -P ${CHECK}
                  RESULT_VARIABLE result OUTPUT_VARIABLE text ERROR_VARIABLE text)
  set(${out_result} ${result} PARENT_SCOPE)
  set(${out_text} "${text}" PARENT_SCOPE)
endfunction()

run_check(result text)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the tree without planted includes fails the check:\n${text}")
endif()

# Each planted include, and the words the check must name it with.
set(planted
    "base/run_state.h|app/options.h|app/ is the top floor"
    "tools/driver.cpp|app/options.h|app/ is the top floor"
    "tests/integration/dialogs_test.cpp|app/options.h|app/ is the top floor"
    "settings/ini_store.cpp|localization/language.h|localization is not below settings"
    "base/text_file.cpp|<settings/registry.h>|settings is not below base")
foreach(entry IN LISTS planted)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 file)
  list(GET parts 1 header)
  list(GET parts 2 words)
  list(APPEND expected "${file}: includes [^\n]*\\(${words}")
  if(NOT header MATCHES "^<")
    set(header "\"${header}\"")
  endif()
  file(WRITE ${tree}/${file} "#include ${header}\n")
endforeach()
run_check(result text)
if(result EQUAL 0)
  message(FATAL_ERROR "the check passes a tree with planted includes that reach up, sideways or into app/")
endif()
foreach(pattern IN LISTS expected)
  if(NOT text MATCHES "${pattern}")
    message(FATAL_ERROR "the check does not name what matches ${pattern}:\n${text}")
  endif()
endforeach()
file(REMOVE_RECURSE ${tree})
message(STATUS "every planted include is named")
