# AddressSanitizer and UndefinedBehaviorSanitizer for every target that links project_options.
# Any report stops the program, so a test run under them fails at the first fault.
option(HASH_CHECKER_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(HASH_CHECKER_SANITIZE)
  set(sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(project_options INTERFACE ${sanitizer_flags})
  target_link_options(project_options INTERFACE ${sanitizer_flags})
endif()

# ThreadSanitizer, for the workers that grade a class: a data race stops the program. It can't be
# combined with AddressSanitizer, so it has its own switch and build folder (the tsan preset).
option(HASH_CHECKER_TSAN "Build with ThreadSanitizer" OFF)

if(HASH_CHECKER_TSAN)
  if(HASH_CHECKER_SANITIZE)
    message(FATAL_ERROR "HASH_CHECKER_TSAN and HASH_CHECKER_SANITIZE can't be combined")
  endif()
  set(thread_sanitizer_flags -fsanitize=thread -fno-omit-frame-pointer)
  target_compile_options(project_options INTERFACE ${thread_sanitizer_flags})
  target_link_options(project_options INTERFACE ${thread_sanitizer_flags})
endif()
