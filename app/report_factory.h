// The report renderers by the role the command line gives them.
#pragma once

#include <memory>
#include <string>

#include "checker/results.h"
#include "render/text_out.h"

/// The renderer for `role` ("JSON report", "Gradescope report" or "JUnit report"), writing to
/// `out`. What the run header's reveal level hides never reaches it (checker/reveal.h).
std::unique_ptr<result_renderer> make_report(const std::string& role, text_out& out);
