// The few plain lines shown after a ">>>>>Wrong" line when the user asks for --explain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "checker/diagnosis.h"

/// At most six lines, each starting with two spaces and ending with a line feed; a line whose
/// facts the diagnosis lacks is left out, so a right line without notes gives "". In order:
///   first difference at slot 5: expected 17, submitted 4; 3 slots differ; 8 keys for 7 slots
///   first misplaced key 17 (inserted 3rd): belongs in slot 5, submitted in slot 6
///   path: home 3 (held 10) -> 4 (held 4) -> 5 (empty): settles in slot 5
///   unknown keys: 99; missing keys: 24, 31 and 2 more; repeated keys: 3
///   mistake: no_wrap_around — every linear scan stops at the last slot ...
///   note: token "4x" read as 4
/// Lines that differ only in length give "8 keys for 7 slots; the first 7 match" instead of the
/// first. A double-hashing path reads "path (step 4): ..."; the kept steps of a longer path are
/// joined by "-> ... N more ... ->"; a dropped key's path ends ": no free slot, dropped". Tokens
/// are quoted with '"' and '\' escaped, other bytes outside printable ASCII as \xHH, and cut after
/// 40 bytes with "..."; more than three notes end "; N more".
std::string explain_lines(const diagnosis& d);

/// What a judged shape says, one sentence a line, no line feeds; empty when the submission is in
/// step, spaced, and ends with its last graded line:
///   output line 5 looks missing: lines 5 to 11 hold the layouts of lines 6 to 12
///   output line 1 looks extra: lines 2 to 9 hold the layouts of lines 1 to 8
///   keys are separated by tabs; keys are read between single spaces
///   3 lines after the last graded line are not graded
std::vector<std::string> shape_lines(const submission_shape& shape);

/// "1st", "2nd", "3rd", "4th", ..., "11th", "12th", "13th", ..., "21st": how the explanations
/// number a key's place in the insertion order.
std::string ordinal(std::int64_t n);
