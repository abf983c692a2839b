// The tools that judge or make input files rather than grade a submission: --audit, --generate
// and --generate-large.
#pragma once

#include <cstdio>

#include "app/options.h"

/// hash_checker --audit INPUT [--json=FILE]: prints the audit to `console`. Returns 0 when every
/// revealable mistake is caught and every case was built, 1 otherwise, 255 when a file fails.
int run_audit(const command_line& cl, std::FILE* console);

/// hash_checker --generate=FILE: writes the input and prints its audit. Returns 0, 2 when no input
/// of tables that small can catch every mistake (one line on standard error), 255 when a file
/// fails.
int run_generate(const command_line& cl, std::FILE* console);

/// hash_checker --generate-large=FILE: writes one case of the asked size, key count and shape.
/// Returns 0, or 255 when the file fails.
int run_generate_large(const command_line& cl, std::FILE* console);
