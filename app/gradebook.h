// A whole class in one run: the input read and built once, every submission graded against it by
// two workers, and the console, the gradebook and the reports written in submission order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/class_listing.h"
#include "app/options.h"
#include "app/report_names.h"

/// Runs `hash_checker --gradebook=FILE INPUT SUBMISSION...` as `cl` gives it, writing the roster
/// and the class summary to `console` (in colour with `color`); reads no key. Returns the exit
/// status: 0; 1 when a submission was not graded, a case was refused or not built or the input
/// ended early; 3 with --fail-on-wrong when it would be 0 and a graded line is Wrong; 255 when the
/// input can't be read, a file of the run is another or a write failed.
int run_gradebook(const command_line& cl, std::FILE* console, bool color);
