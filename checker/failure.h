// What failed, as the one line that says so and the exit status it ends the run with: what the
// steps that open, read and write the run's files hand back instead of an empty-or-message text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// What a file was doing when it failed.
enum class file_step : std::uint8_t { open, read, write };

/// "WHAT open failed" (or "read failed", "write failed"): the one wording of a failed step, which
/// every line naming a failed file or stream uses.
std::string step_failure_line(std::string_view what, file_step step);

/// "ROLE PATH open failed" and so on: step_failure_line of a file named by its role and path.
std::string file_failure_line(std::string_view role, std::string_view path, file_step step);

/// A step's outcome: nothing failed (no line), or the line that says what did and whether the
/// command line asked for what can't be (usage) or the run failed.
struct failure {
  std::string line;
  bool usage = false;
  [[nodiscard]] bool failed() const { return !line.empty(); }
};

/// The failure of a file's step, worded by file_failure_line.
failure file_failure(std::string_view role, std::string_view path, file_step step);

/// The exit status a run that ends on `what` ends with: 0 when nothing failed, 2 for usage, 255
/// otherwise.
int exit_status_of(const failure& what);
