# The warnings every library, program and test is built with; the bottom library passes them on
# to everything that links it. Also included by the wine test project (tests/com), so that the
# Windows automation host is built with the same warnings there.
add_library(quillmere_warnings INTERFACE)
if(MSVC)
  target_compile_options(quillmere_warnings INTERFACE /W4 $<$<BOOL:${QUILLMERE_WERROR}>:/WX>)
else()
  target_compile_options(quillmere_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wimplicit-fallthrough $<$<BOOL:${QUILLMERE_WERROR}>:-Werror>)
endif()
