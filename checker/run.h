// The checker's run: reads the input file case by case, builds each case's three layouts, reads
// and grades the submitted lines, and hands every result record to the renderers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "checker/line_reader.h"
#include "checker/results.h"

struct run_request {
  bool answer_only = false;
  std::string input_path = "./hash_input.txt";
  std::string output_path = "./hash_output.txt";
  bool diagnose = false;  // explain every Wrong line (line_result::details)
};

struct file_closer {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

/// The files a run reads, owned for its length.
struct run_files {
  std::unique_ptr<std::FILE, file_closer> input;
  std::unique_ptr<std::FILE, file_closer> output;  // never opened in answer-only mode
  line_reader input_f;
  line_reader output_f;
  std::int64_t case_count = 0;
};

/// A renderer and, when its failed writes must end the run, the line that says so.
struct renderer_slot {
  result_renderer* renderer = nullptr;
  std::string failure_line;  // empty: a failure is only noticed at the end
};

/// Opens the input file, then in checking mode the output file, and reads the case count. Returns
/// the failure line ("Input File X open failed", a bad count...), or an empty text. A directory
/// counts as a file that can't be opened; the output file is not touched in answer-only mode.
std::string start_run(const run_request& request, run_files& files);

/// Runs every case that line 1 counts, handing each record to every renderer in order, and fills
/// the totals of `summary`. A read that fails, or a renderer with a failure line that fails,
/// ends the run with `summary.error` set and `summary.completed` false. Sets no exit status.
void run_cases(const run_request& request, run_files& files, std::span<const renderer_slot> slots,
               run_summary& summary);

/// The exit status a run ends with: 255 after a failure, 1 when a case was refused or not built
/// or the input ended early, 0 otherwise.
int status_of(const run_summary& summary);
