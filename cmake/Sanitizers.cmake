# AddressSanitizer and UndefinedBehaviorSanitizer for every target that links project_options.
# Any report stops the program, so a test run under them fails at the first fault.
option(HASH_CHECKER_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(HASH_CHECKER_SANITIZE)
  set(sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(project_options INTERFACE ${sanitizer_flags})
  target_link_options(project_options INTERFACE ${sanitizer_flags})
endif()
