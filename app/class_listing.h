// Listing a class run's submissions: the paths given, each folder's entries, a student's folder of
// several files narrowed to the one it picks, and the run's own files left out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checker/submission_file.h"

/// One submission of a class run.
struct class_submission {
  std::string path;      // the file read: as given, or a folder's path joined with an entry's name
  std::string named_as;  // the path whose last component names its reports
  bool listed = false;   // found by listing a folder: read only as a regular file
  bool regular = true;   // listed: the entry is a regular file (or, followed, a link to one)
  // A student's folder of several files, none picked: why, and the row is not graded, with the
  // state `held` (or, one input per student, the submission's student has none).
  std::string pick_note;
  submission_state held = submission_state::not_picked;
};

/// How a student's folder of several files gives its submission: off (the folder is skipped, as
/// any folder of more than one entry), by a file name pattern, or, without one, the one file
/// whose start reads as an output file.
struct folder_picking {
  bool on = false;
  std::string glob;  // fnmatch pattern; empty: by content
};

/// What the submission arguments of a class run come to.
struct class_listing {
  std::vector<class_submission> submissions;
  std::vector<std::string> skipped;  // one line per subfolder skipped and file of the run left out
  std::int64_t skipped_folders = 0;
  std::int64_t left_out = 0;
};

/// A file of the run itself, which a listed folder never offers as a submission: its role as a
/// sentence names it ("the input file") and its path.
struct own_file {
  std::string role;
  std::string path;
};

/// A folder the run writes reports into, and the ending of their names (".json").
struct report_folder {
  std::string path;
  std::string extension;
};

/// The submissions that `given` names, in order. A folder stands for its entries in bytewise
/// name order, each its path joined to the name by one "/": a regular file is a submission; a
/// link (unless `follow_links`, which takes the link for what it points to), FIFO, socket or
/// device is a submission that will not be read, so that it gets a row; a subfolder holding
/// exactly one entry, not a folder, is a submission named after the subfolder; any other
/// subfolder is skipped, or with `picking` on stands for the one file it picks (with a glob, the
/// one file whose name matches; without, the one of several whose start reads as an output
/// file: lines of integers alone) or, when not exactly one is picked, for a row with a
/// pick_note ("not graded: 3 files, none picked (use --pick=GLOB)"). An entry that is one of `own`
/// (same device and inode), or that ends in a report folder's extension inside that folder, is left
/// out. Each skipped subfolder and file left out adds a line to `skipped`. Any other path, missing
/// ones included, and a folder that can't be listed stand for themselves.
class_listing list_submissions(const std::vector<std::string>& given, bool follow_links,
                               const std::vector<own_file>& own,
                               const std::vector<report_folder>& report_folders,
                               const folder_picking& picking = {});

/// True when the whole lines of the first 64 KiB of the regular file at `path` (a byte-order
/// mark skipped) are at least half lines of integers separated by spaces, and none holds a
/// bracket, quote, operator or "#" of source code: an output file, even with a slip, not code or
/// prose. A link is followed only with `follow_links`.
bool reads_as_output(const std::string& path, bool follow_links);

/// `folder` and `name` joined by one "/" (none added when `folder` ends in one).
std::string joined(const std::string& folder, std::string_view name);

/// True when `path` is a folder, following links.
bool is_folder(const std::string& path);
