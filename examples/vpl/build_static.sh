#!/usr/bin/env bash
# Builds a statically linked hash_checker for VPL's jail, which may lack the C++ runtime it was
# built against: upload the file it writes as an execution file of the activity.
#   examples/vpl/build_static.sh [OUT]     (run from anywhere; default OUT: ./hash_checker)
set -euo pipefail
source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
out=${1:-hash_checker}
version=$(sed -n 's/^project(hash_checker VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
g++ -std=c++20 -O2 -DNDEBUG -DHASH_CHECKER_VERSION="\"$version\"" -I"$source" -pthread -static \
  "$source"/{hashing,checker,render,app}/*.cpp -o "$out"
"./$out" --version 2>/dev/null || "$out" --version
