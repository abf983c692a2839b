// index.html of a class run: one self-contained page (inline CSS, no script, nothing fetched) with
// the class totals, the score histogram as an inline SVG bar chart, each strategy's share of Right
// lines, and the roster linking every graded submission to its own HTML page beside it.
#pragma once

#include <span>
#include <string>

#include "checker/gradebook.h"
#include "render/text_out.h"

/// What index.html shows; `page_names` must hold one name per row (a file in the same folder).
struct class_page {
  std::string input;
  std::string gradebook;
  class_totals totals;
  std::span<const submission_row> rows;
  std::span<const std::string> page_names;
};

/// With a roster: "Canvas canvas.csv: 3 of 4 students graded", and every student without a
/// grade and download astray, one line each; an empty heading for none.
struct class_page_roster {
  std::string heading;
  std::span<const std::string> notes;
};

/// Writes the whole page to `out`. Every path goes through append_html and every link target
/// through append_url_segment, so any bytes in a path give a page that parses as written. The
/// chart always has ten bars, each labelled with its band and count (it reads without colour);
/// a submission that was not graded is listed without a link, with "-" for its numbers. The
/// roster's heading and notes, when there is one, end the page.
void put_class_html(text_out& out, const class_page& page, const class_page_roster& roster = {});
