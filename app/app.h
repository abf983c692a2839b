// The program: the command line, the guards that keep files from being lost, the renderers, and
// the exit status.
#pragma once

#include <cstdio>

/// Runs the checker with `argv[0]` the program's name. Writes the transcript to `console` and
/// reads one character from `keyboard` after the closing prompt. Returns the exit status: 0, 1,
/// 2 (usage), 3 (--fail-on-wrong) or 255; see `usage_text`.
int run_checker(int argc, const char* const* argv, std::FILE* console, std::FILE* keyboard);

/// Puts /dev/null, read-only, on any of descriptors 0, 1 and 2 that is closed, so that no file the
/// run opens takes a standard stream's number; writes to such a stream still fail.
void reserve_standard_streams();

/// Makes an allocation that can't be had end the process with one line on standard output and
/// exit status 255, after removing every temporary file, instead of an abort.
void stop_on_out_of_memory();
