#!/usr/bin/env bash
# Gradescope runs this once, as root, while it builds the autograder's image: it installs a C++
# compiler and CMake from the Ubuntu image's packages and builds the checker from the source
# shipped in the zip (hash_checker/), into hash_checker/build/hash_checker.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends g++ make cmake
cd "$here/hash_checker"
# CMake 3.25 or later builds the project as it is built everywhere else; an older one (Ubuntu
# 22.04 has 3.22) gives way to one g++ command over the same sources.
if cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF; then
  cmake --build build -j "$(nproc)" --target hash_checker
else
  version=$(sed -n 's/^project(hash_checker VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  mkdir -p build
  g++ -std=c++20 -O2 -DNDEBUG -DHASH_CHECKER_VERSION="\"$version\"" -I. -pthread \
    hashing/*.cpp checker/*.cpp render/*.cpp app/*.cpp -o build/hash_checker
fi
build/hash_checker --version
