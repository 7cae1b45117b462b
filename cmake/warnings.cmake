# One interface target carries the warning flags; every library and program of ours links it.
add_library(vesmira_warnings INTERFACE)
target_compile_options(vesmira_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion
  $<$<BOOL:${VESMIRA_WERROR}>:-Werror>)
