// The step-through of a Wrong line's misplaced key on the HTML pages: for each build (the correct
// one, and the named mistake's beside it) the table as it stood just before the key went in, runs
// of filled slots shaded and the tried slots numbered, and a strip of the key's tries. Static
// markup and CSS only: the pages load and run nothing.
#pragma once

#include <string>
#include <string_view>

#include "checker/diagnosis.h"

/// The style rules the step-through's markup needs, for the page's one style sheet.
extern const std::string_view step_style_sheet;

/// Appends the step-through of `d`, nothing when it has no walk. Each build's walk is an element
/// with `data-build` ("correct" or the mistake's id) holding one element per kept try with
/// `data-step` (its number from 1), `data-slot`, `data-held` (the key held then, empty when the
/// slot was empty) and, on the try where the key settles, `data-settles`.
void append_step_through(std::string& html, const diagnosis& d);
