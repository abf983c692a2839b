// Refuses a run whose files are one another: a submission or an input that is the answer file
// would be emptied before it is read, and a report written over either loses it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// A file the run touches: its role in messages ("Input File", "JSON report") and its path.
struct guarded_file {
  std::string role;
  std::string path;
  bool written = false;  // the run writes it (the answer file, a report)
};

/// The first clash between a written file and any other file of the list, as one line such as
/// "Output File x is the answer file ./hash_answer.txt; nothing was written", or an empty text.
/// The later file of a clashing pair is the one named first.
/// Existing files are compared by device and inode, so other names, "..", symlinks and hard links
/// are caught; paths that don't exist yet by their absolute, normalised form.
/// "-" is standard output for a written file and standard input for a read one.
std::string same_file_clash(const std::vector<guarded_file>& files);

/// The first written file that can't be written at all, because its path is a directory, a
/// socket or a block device (symlinks followed), as one line such as "JSON report out is a
/// directory; nothing was written", or an empty text.
std::string unwritable_target(const std::vector<guarded_file>& files);

/// Says on standard error, so that a transcript keeps its bytes, that the answer file can be
/// written elsewhere or not at all: one line naming --answer-file=PATH and --no-answer-file.
void hint_answer_elsewhere();

/// Writes swapped_files_hint (checker/run.h) for an input's first line of `numbers` numbers as a
/// line on standard error, when there is one.
void hint_swapped_files(std::int64_t numbers);

/// True when a written file of the list is standard output itself ("-", /dev/stdout or another
/// name of its file); the console transcript then goes to standard error.
bool writes_to_standard_output(const std::vector<guarded_file>& files);
