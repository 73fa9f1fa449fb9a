#!/usr/bin/env bash
# Fails when a tracked C++ file is not formatted as .clang-format says; changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
