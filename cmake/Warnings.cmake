# Warnings for the project's own targets; never exported to consumers.
add_library(meshweave_warnings INTERFACE)
target_compile_options(meshweave_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Wnon-virtual-dtor
  -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough
  $<$<BOOL:${MESHWEAVE_WARNINGS_AS_ERRORS}>:-Werror>)
