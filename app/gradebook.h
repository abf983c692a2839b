// A whole class in one run: the input read and built once, every submission graded against it by
// two workers, and the console, the gradebook and the reports written in submission order.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "app/options.h"

/// Runs `hash_checker --gradebook=FILE INPUT SUBMISSION...` as `cl` gives it, writing the roster
/// and the class summary to `console` (in colour with `color`); reads no key. Returns the exit
/// status: 0; 1 when a submission was not graded, a case was refused or not built or the input
/// ended early; 3 with --fail-on-wrong when it would be 0 and a graded line is Wrong; 255 when the
/// input can't be read, a file of the run is another or a write failed.
int run_gradebook(const command_line& cl, std::FILE* console, bool color);

/// The submissions that `given` names, in order: a folder stands for every regular file in it
/// (symlinks followed, subfolders skipped), in bytewise name order, its path joined to the name by
/// one "/"; any other path, missing ones included, and a folder that can't be listed stand for
/// themselves.
std::vector<std::string> expand_submissions(const std::vector<std::string>& given);

/// One JSON report name per path: the path's last component and ".json", made unique in order by
/// "-2", "-3"... before ".json". "class.json" is never given out; a path with no last component
/// ("", ".", "..", "x/") is named "submission".
std::vector<std::string> report_names_for(const std::vector<std::string>& paths);

/// One HTML page name per path, as report_names_for names them but ending in ".html", and never
/// "index.html" (the class's page).
std::vector<std::string> page_names_for(const std::vector<std::string>& paths);
