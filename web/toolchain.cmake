# Debian's emscripten package and nothing else: its prebuilt system libraries are laid (as links)
# into a cache inside the build tree, which stays frozen, so nothing can be built into it or
# downloaded for it at build time (a port asked for by mistake fails the build).
set(hash_checker_em_cache "$ENV{EM_CACHE}")
if(hash_checker_em_cache STREQUAL "")
  message(FATAL_ERROR "Configure the page with `cmake --preset web`, which sets EM_CACHE")
endif()
set(debian_em_cache /usr/share/emscripten/cache)
if(NOT EXISTS "${debian_em_cache}/sysroot_install.stamp")
  message(FATAL_ERROR "Debian's emscripten is missing: apt-get install emscripten")
endif()
if(NOT EXISTS "${hash_checker_em_cache}/sysroot_install.stamp")
  file(MAKE_DIRECTORY "${hash_checker_em_cache}")
  execute_process(COMMAND cp -rs "${debian_em_cache}/." "${hash_checker_em_cache}/"
                  RESULT_VARIABLE laid)
  if(NOT laid EQUAL 0)
    message(FATAL_ERROR "Can't lay emscripten's libraries into ${hash_checker_em_cache}")
  endif()
  # The lock is written to: a file of the build tree's own, not a link into the package.
  file(REMOVE "${hash_checker_em_cache}/cache.lock")
endif()

# Every compile and link runs with this cache; Debian's compiler tools find their JavaScript
# modules under /usr/share/nodejs, which a Node.js from elsewhere doesn't search by itself.
set(hash_checker_em_env ${CMAKE_COMMAND} -E env "EM_CACHE=${hash_checker_em_cache}"
    EM_FROZEN_CACHE=1 NODE_PATH=/usr/share/nodejs)
set(CMAKE_CXX_COMPILER_LAUNCHER ${hash_checker_em_env})
set(CMAKE_CXX_LINKER_LAUNCHER ${hash_checker_em_env})
set(ENV{EM_FROZEN_CACHE} 1)
set(ENV{NODE_PATH} /usr/share/nodejs)

include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

# No exceptions anywhere, as in the program: the core neither throws nor catches, and without
# them the standard library's failures end the run rather than unwind.
set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fno-exceptions")
