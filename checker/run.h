// The checker's run: command line, files, the loop over cases and the answer file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

/// Runs the checker. `argv[0]` is the program's name; then either the run mode, or the run mode
/// and the input and output paths. Writes the transcript to `console` and "./hash_answer.txt",
/// then reads one character from `keyboard`. Returns 0 when every case was built, 1 when a case
/// was refused or the input file ended early, and -1 when a file can't be opened, read or written
/// or the input file's first line holds no case count.
int run_checker(int argc, const char* const* argv, std::FILE* console, std::FILE* keyboard);

/// The run mode's value: the leading decimal integer of `text` after white space and one optional
/// sign, clamped to the signed 32-bit range; 0 when there is none.
std::int32_t lenient_value(std::string_view text);

/// Makes an allocation that can't be had outside a table end the process with one line on
/// standard output and exit status -1, instead of an abort.
void stop_on_out_of_memory();
