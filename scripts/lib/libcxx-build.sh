#!/usr/bin/env bash
# Builds the Linux program with clang and libc++ (preset linux-libcxx,
# build/linux-libcxx), so that code leaning on what only libstdc++ provides
# fails to build here. Installs nothing: the caller has clang, libc++-dev and
# libc++abi-dev installed. The program only: Debian's GoogleTest and Google
# Benchmark are built against libstdc++, and the stand-in uses libstdc++'s
# regex flag __polynomial and from_chars for double, which libc++ 14 lacks.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset linux-libcxx
cmake --build --preset linux-libcxx
