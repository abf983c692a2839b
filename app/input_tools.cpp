#include "app/input_tools.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <string>
#include <vector>

#include "app/file_guard.h"
#include "checker/audit.h"
#include "checker/failure.h"
#include "checker/input_generator.h"
#include "checker/run.h"
#include "hashing/program_limits.h"
#include "render/atomic_file.h"
#include "render/audit_console.h"
#include "render/audit_json.h"
#include "render/input_writer.h"
#include "render/key_text.h"

#ifndef HASH_CHECKER_VERSION
#define HASH_CHECKER_VERSION "0.0.0"
#endif

namespace {

// Ends with `line` on the console; the status of a file that failed.
int fail(text_out& console, const std::string& line) {
  put_text(console, line + "\n");
  flush_text(console);
  return failure_status;
}

// Prints and flushes; a console that refuses the text fails the tool.
int finish(text_out& console, int status) {
  if (flush_text(console)) return status;
  std::fputs("hash_checker: standard output write failed\n", stderr);
  return failure_status;
}

// The JSON report of an audit, when one is asked for: created before the work, committed after.
struct audit_report_file {
  std::string path;
  atomic_file file;
};

failure open_report(audit_report_file& report) {
  if (report.path.empty() || report.file.open(report.path)) return {};
  return file_failure("JSON report", report.path, file_step::open);
}

failure commit_report(audit_report_file& report, const audit_header& header,
                      const audit_result& result) {
  if (report.path.empty()) return {};
  write_audit_json(report.file.out(), header, result);
  if (report.file.commit()) return {};
  return file_failure("JSON report", report.path, file_step::write);
}

// Every case of the input, added to the audit one at a time: memory by one case.
struct audit_run {
  audit_result result;
  bool incomplete = false;
  std::string ended_message;
  std::string error;
};

audit_run audit_file(const std::string& path) {
  audit_run run;
  run_request request;
  request.answer_only = true;
  request.input_path = path;
  run_files files;
  run.error = start_run(request, files);
  if (!run.error.empty()) return run;
  audit_collector collector;
  for (std::int64_t i = 0; i < files.case_count; ++i) {
    case_result record;
    const read_status read = read_next_case_keys(files, i, record);
    if (read == read_status::error) {
      run.error = "Input File " + path + " read failed";
      return run;
    }
    if (read == read_status::end) {
      run.incomplete = true;
      run.ended_message = "Input File " + path + " ended after " + std::to_string(i) + " of " +
                          std::to_string(files.case_count) + " cases";
      break;
    }
    // Only the keys are read: the collector builds one table at a time itself.
    const bool added = collector.add_case(record);
    if (!added) collector.mark_not_built(not_built_message(files, record));
    run.incomplete = run.incomplete || record.state != case_state::built || !added;
  }
  run.result = collector.finish();
  return run;
}

std::string clash_of(const std::string& role, const std::string& path, bool written,
                     const std::string& json) {
  std::vector<guarded_file> files{{role, path, written}};
  if (!json.empty()) files.push_back({"JSON report", json, true});
  return same_file_clash(files);
}

// The audit takes and gives back scratch of a megabyte or more for every comparison of a large
// case. glibc would serve such blocks from the heap once a large block was freed, and keep what
// they leave at its top: mapped afresh each time instead, they go back to the system when freed,
// and the audit holds little beside a table and the keys.
void map_large_blocks() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

}  // namespace

int run_audit(const command_line& cl, std::FILE* console) {
  map_large_blocks();
  text_out out;
  out.file = console;
  const std::string& input = cl.request.input_path;
  const std::string clash = clash_of("Input File", input, false, cl.json);
  if (!clash.empty()) return fail(out, clash);
  audit_report_file report;
  report.path = cl.json;
  const failure opened = open_report(report);
  if (opened.failed()) return fail(out, opened.line);
  audit_run run = audit_file(input);
  audit_header header{HASH_CHECKER_VERSION, input, 0, run.error};
  if (run.error.empty()) {
    print_audit(out, input, run.result);
    if (!run.ended_message.empty()) put_text(out, run.ended_message + "\n");
    header.status = run.incomplete ? incomplete_status : audit_status(run.result);
  } else {
    put_text(out, run.error + "\n");
    header.status = failure_status;
  }
  const failure committed = commit_report(report, header, run.result);
  if (committed.failed()) return fail(out, committed.line);
  return finish(out, header.status);
}

int run_generate(const command_line& cl, std::FILE* console) {
  text_out out;
  out.file = console;
  const generated_input generated =
      generate_input(static_cast<std::uint64_t>(cl.seed), cl.max_size, cl.cases);
  if (!generated.refusal.empty()) {
    std::fprintf(stderr, "hash_checker: --generate: %s\n", generated.refusal.c_str());
    return usage_status;
  }
  const std::string clash = clash_of("Generated File", cl.generate, true, cl.json);
  if (!clash.empty()) return fail(out, clash);
  audit_report_file report;
  report.path = cl.json;
  const failure opened = open_report(report);
  if (opened.failed()) return fail(out, opened.line);
  atomic_file file;
  if (!file.open(cl.generate)) {
    return fail(out, file_failure_line("Generated File", cl.generate, file_step::open));
  }
  write_case_count(file.out(), static_cast<std::int64_t>(generated.cases.size()));
  for (const case_result& record : generated.cases) write_input_case(file.out(), record);
  if (!file.commit()) {
    return fail(out, file_failure_line("Generated File", cl.generate, file_step::write));
  }
  put_text(out, "Wrote " + count_of_cases(generated.cases.size()) + " to " + cl.generate +
                    " (seed " + std::to_string(cl.seed) + ", tables of at most " +
                    std::to_string(cl.max_size) + " slots)\n\n");
  const audit_result result = audit_cases(generated.cases);
  print_audit(out, cl.generate, result);
  const audit_header header{HASH_CHECKER_VERSION, cl.generate, audit_status(result), ""};
  const failure committed = commit_report(report, header, result);
  if (committed.failed()) return fail(out, committed.line);
  return finish(out, header.status);
}

int run_generate_large(const command_line& cl, std::FILE* console) {
  text_out out;
  out.file = console;
  atomic_file file;
  if (!file.open(cl.generate_large)) {
    return fail(out, file_failure_line("Generated File", cl.generate_large, file_step::open));
  }
  text_out& written = file.out();
  write_case_count(written, 1);
  write_size_line(written, cl.size);
  const large_shape shape = shape_named(cl.shape);
  const auto keys = static_cast<std::uint64_t>(cl.keys);
  const std::uint64_t first_count = keys / 2;
  // Formatted a chunk at a time: memory by the chunk, whatever the key count.
  constexpr std::uint64_t chunk_keys = std::uint64_t{1} << 16;
  key_list chunk;
  for (const auto& [begin, end] :
       {std::pair{std::uint64_t{0}, first_count}, std::pair{first_count, keys}}) {
    for (std::uint64_t at = begin; at < end; at += chunk_keys) {
      chunk.clear();
      for (std::uint64_t i = at; i < std::min(end, at + chunk_keys); ++i) {
        chunk.push_back(large_case_key(shape, static_cast<std::uint64_t>(cl.seed), cl.size, i));
      }
      if (at > begin) put_text(written, " ");
      put_keys_separated(written, chunk, ' ');
    }
    put_text(written, "\n");
  }
  if (!file.commit()) {
    return fail(out, file_failure_line("Generated File", cl.generate_large, file_step::write));
  }
  put_text(out, "Wrote 1 case of " + std::to_string(cl.size) + " slots and " +
                    std::to_string(cl.keys) + " keys (" + cl.shape + ", seed " +
                    std::to_string(cl.seed) + ") to " + cl.generate_large + "\n");
  return finish(out, 0);
}
