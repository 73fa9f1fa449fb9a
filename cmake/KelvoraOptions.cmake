# Flags every target of the project shares.
add_library(kelvora_options INTERFACE)
target_compile_options(kelvora_options INTERFACE -Wall -Wextra)
if(KELVORA_WERROR)
  target_compile_options(kelvora_options INTERFACE -Werror)
endif()
if(KELVORA_SANITIZE)
  target_compile_options(kelvora_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(kelvora_options INTERFACE -fsanitize=address,undefined)
endif()
target_include_directories(kelvora_options INTERFACE ${PROJECT_SOURCE_DIR})
