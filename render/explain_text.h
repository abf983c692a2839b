// Why a Wrong line is wrong, in words: one set of sentences that the console, the HTML page and
// the plain-text reports each set in their own way, and what a judged shape says.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "checker/diagnosis.h"

/// What a piece of a sentence is, so that each report can set it its own way: the console and
/// the plain-text reports print numbers as they are, a page groups the digits of slots and counts
/// and writes an empty slot's 0 as "empty".
enum class part_kind : std::uint8_t {
  words,     // `text` as it reads
  key,       // `number` is a key
  held,      // `number` is what a slot holds: a key, or 0 when it is empty
  slot,      // `number` is a slot
  count,     // `number` counts keys, slots or steps
  arrow,     // between two steps of a path
  ellipsis,  // where steps of a path are left out
};

struct sentence_part {
  part_kind kind = part_kind::words;
  std::string text;
  std::int64_t number = 0;
};

/// One sentence of an explanation, starting in lower case and without a closing full stop.
using sentence = std::vector<sentence_part>;

/// Why a line is what it is, as at most six sentences; one whose facts the diagnosis lacks is left
/// out, so a right line without notes gives none. In their plain form, in order:
///   first difference at slot 5: expected 17, submitted 4; 3 slots differ; 8 keys for 7 slots
///   first misplaced key 17 (inserted 3rd): belongs in slot 5, submitted in slot 6
///   path: home 3 (held 10) -> 4 (held 4) -> 5 (empty): settles in slot 5
///   unknown keys: 99; missing keys: 24, 31 and 2 more; repeated keys: 3
///   mistake: no_wrap_around — every linear scan stops at the last slot ...
///   note: token "4x" read as 4
/// Lines that differ only in length give "8 keys for 7 slots; the first 7 match" instead of the
/// first; a diagnosis without the expected key (a student's view) says "submitted 4" alone. A
/// double-hashing path reads "path (step 4): ..."; the kept steps of a longer path are joined by
/// "-> ... N more ... ->"; a key the correct build drops is "dropped from the correct table" and
/// its path ends ": no free slot, dropped". Tokens are quoted with '"' and '\' escaped, other
/// bytes outside printable ASCII as \xHH, and cut after 40 bytes with "..."; more than three notes
/// end "; N more".
std::vector<sentence> diagnosis_sentences(const diagnosis& d);

/// What is said of a Wrong line that was not read as keys to its end: its echo (the bad token)
/// says what is wrong with it, so only the mistake sentence, for a line whose tokens a mistake was
/// looked for in (such as empty slots printed as "None"); none otherwise.
std::vector<sentence> unread_line_sentences(const diagnosis& d);

/// A sentence in its plain form: numbers in decimal, arrows "->", left-out steps "...".
std::string plain_sentence(const sentence& said);

/// The few plain lines shown after a ">>>>>Wrong" line with --explain, and in the plain-text
/// reports: each sentence of diagnosis_sentences on a line of its own, after two spaces.
std::string explain_lines(const diagnosis& d);

/// As explain_lines, of unread_line_sentences.
std::string explain_unread_line(const diagnosis& d);

/// What a judged shape says, one sentence a line, no line feeds; empty when the submission is in
/// step, spaced, and ends with its last graded line:
///   output line 5 looks missing: lines 5 to 11 hold the layouts of lines 6 to 12
///   output line 1 looks extra: lines 2 to 9 hold the layouts of lines 1 to 8
///   an output line looks missing: the lines after it hold the layouts of the lines below them
///     (where the reveal filter withheld the line numbers; "extra" and "above" alike)
///   keys are separated by tabs; keys are read between single spaces
///   the output ends 3 lines short, as when the program stops early (a crash, or a stop when a
///     table is full)
///   3 lines after the last graded line are not graded
std::vector<std::string> shape_lines(const submission_shape& shape);

/// The program's mistake in one line, from a diagnosed submission's shape, such as
///   Most likely: no_wrap_around (explains 41 of 44 Wrong lines)
///   Most likely: no_wrap_around (explains 3 of 3 Wrong lines; scan_cut_short explains as many)
///   Most likely: unexplained (no known mistake gives any of 3 Wrong lines)
///   Most likely: unexplained (no known mistake gives 8 of 9 Wrong lines; wrong_strategy explains
///   1)
/// naming up to three that tie with the first. Empty when no Wrong line was diagnosed.
std::string likely_line(const submission_shape& shape);

/// "1st", "2nd", "3rd", "4th", ..., "11th", "12th", "13th", ..., "21st": how the explanations
/// number a key's place in the insertion order.
std::string ordinal(std::int64_t n);
