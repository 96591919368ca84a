# Every warning is an error, in every target of the project.
if(MSVC)
  add_compile_options(/W4 /WX /permissive-)
else()
  add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
                      -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
                      -Wformat=2 -Werror)
endif()
