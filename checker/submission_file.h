// Opening a submission found by listing a folder: only a regular file is ever read, a link is
// followed only when asked, and nothing that could block or act on being opened is opened.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <string_view>

/// Why a submission gets the row it gets. `graded` and the three states after it were graded
/// (score and all); the others were not.
enum class submission_state {
  graded,
  empty,        // no bytes, or white space alone
  unreadable,   // no line reads as keys: binary or prose
  transcript,   // holds the checker's own banners, as when a console was pasted
  open_failed,  // missing, a folder, or not readable
  read_failed,
  symbolic_link,  // a link in a listed folder, not followed without --follow-links
  dangling_link,  // a link to nothing
  fifo,
  socket,
  device,         // a character or block device
  out_of_memory,  // the memory grading it may take could not be had
  not_picked,     // a student's folder of several files, none of them told to be the output
  no_variant,     // one input per student: theirs is not in the variants folder
  no_student,     // one input per student: the submission went to no student, so to no input
};

/// The state as the gradebook, the console and the reports write it: "graded", "empty",
/// "unreadable", "transcript", "open failed", "read failed", or "not graded: " and why
/// ("symbolic link", "dangling link", "fifo", "socket", "device", "out of memory", "no file
/// picked", "no variant for this student", "matched to no student").
std::string_view state_text(submission_state state);

/// True for the states of a submission that was graded.
bool was_graded(submission_state state);

/// What an entry of kind `mode` (from lstat, or stat when links are followed) becomes:
/// `graded` for a regular file (still to be opened), the state that skips it otherwise.
/// A folder is `open_failed`; a link is `symbolic_link`.
submission_state state_of_kind(mode_t mode);

/// Opens `path`, an entry of a listed folder, for reading. The entry is looked at without
/// following a link unless `follow_links`; only a regular file is opened (without blocking and,
/// unless `follow_links`, without following a link put there since), and what was opened is
/// checked to be a regular file still. Returns `graded` with `*file` set, or the state that says
/// why it is not read (`*file` null).
submission_state open_listed_submission(const std::string& path, bool follow_links,
                                        std::FILE** file);
