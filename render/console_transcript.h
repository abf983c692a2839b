// The console transcript: banners, the ground truth, each submitted line echoed as parsed with
// its verdict, the tallies, the summary and the closing prompt.
#pragma once

#include <string>
#include <utility>

#include "checker/results.h"
#include "render/text_out.h"

/// Renders the transcript to `out` exactly as the checker has always printed it. With `color`,
/// Right is green and Wrong red (ANSI escapes); with `explain`, each Wrong line with a diagnosis
/// is followed by explain_lines of it. Nothing else changes.
class console_transcript : public result_renderer {
 public:
  console_transcript(text_out& out, bool color, bool explain = false)
      : out_(out), color_(color), explain_(explain) {}
  void begin_run(const run_header& header) override;
  void begin_case(const case_result& record) override;
  void line(const case_result& record, const line_result& result) override;
  void end_case(const case_result& record, const case_tally& tally) override;
  void end_run(const run_summary& summary) override;
  [[nodiscard]] bool ok() const override { return !out_.failed; }

  /// Replaces the last line of the closing prompt, "You can find answer in [hash_answer.txt]
  /// file.", with `line` (no line feed): for a run whose answer file was named or refused.
  void set_closing_line(std::string line) { closing_line_ = std::move(line); }

  /// True once end_run has printed the closing prompt, which asks for a key.
  [[nodiscard]] bool prompted() const { return prompted_; }

 private:
  void echo(const line_result& result);
  text_out& out_;
  bool color_;
  bool explain_;  // a few lines after each Wrong line on why it is wrong
  bool answer_only_ = false;
  bool prompted_ = false;
  std::string output_path_;
  std::string closing_line_ = "You can find answer in [hash_answer.txt] file.";
};
