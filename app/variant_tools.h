// One input per student: --make-variants writes each roster student's own input, audited clean,
// into a folder, with the list of who has which and, when asked, each variant's answer file.
#pragma once

#include <cstdio>

#include "app/options.h"

/// hash_checker --make-variants=DIR --roster=FILE [--seed=N] [--max-size=M] [--cases=K]
/// [--only=ID] [--overwrite] [--answer-dir=DIR2]: writes DIR/<student>.txt for every student of
/// the roster (or the one --only names) and DIR/variants.csv, and with --answer-dir each
/// variant's answer file under the same name, all renamed into place together or none of them.
/// Returns 0; 2 for a request that can't be met (an existing folder without --only or
/// --overwrite, an --only no student has, a size too small to catch every mistake); 255 when the
/// roster or the variants list can't be read or a file can't be written.
int run_make_variants(const command_line& cl, std::FILE* console);
