# Warnings on for every target of ours.
add_compile_options(-Wall -Wextra)
if(TARN_WERROR)
  add_compile_options(-Werror)
endif()

# Sanitizer builds, chosen by the presets.
set(TARN_SANITIZE "" CACHE STRING "address;undefined, thread, or fuzzer (clang: libFuzzer targets)")
if(TARN_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TARN_SANITIZE STREQUAL "fuzzer")
  # Everything instrumented for coverage; only the fuzz targets link libFuzzer's main.
  # Line tables are all a finding's stack needs, and build faster than full debug info.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined -gline-tables-only)
  add_link_options(-fsanitize=address,undefined)
elseif(TARN_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

if(WIN32)
  # One self-contained .exe: no MinGW runtime DLLs to ship beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
