# vesmira_add_test(<name> SOURCES <files...> LIBS <targets...> [GUI] [LABELS <labels...>])
# Builds one QtTest executable and registers it with CTest. GUI tests run on the
# offscreen platform so they need no display, and every test sees the same fonts.
function(vesmira_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test vesmira_warnings)
  add_test(NAME ${name} COMMAND ${name})
  set(env "QT_QPA_PLATFORM=offscreen" "FONTCONFIG_FILE=${PROJECT_SOURCE_DIR}/tests/fonts.conf")
  if(VESMIRA_SANITIZE)
    # Qt and fontconfig keep caches alive until exit; leak reports there are noise.
    list(APPEND env "ASAN_OPTIONS=detect_leaks=0")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
endfunction()
