// The answer file: each case's three layouts in the output file's form.
#pragma once

#include "checker/results.h"
#include "render/text_out.h"

/// Writes three lines per case to `out`: the layouts of a built case, keys separated by single
/// spaces with no trailing space, or three empty lines for a case that was not built, so that
/// answer lines 3k+1 to 3k+3 always belong to case k.
class answer_file_writer final : public layout_renderer {
 public:
  explicit answer_file_writer(text_out& out) : out_(out) {}
  void begin_case(const case_result& record) override;
  [[nodiscard]] bool ok() const override { return !out_.failed; }

 private:
  text_out& out_;
};
