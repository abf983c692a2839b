#include "checker/failure.h"

#include "hashing/program_limits.h"

std::string step_failure_line(std::string_view what, file_step step) {
  std::string line(what);
  switch (step) {
    case file_step::open:
      return line.append(" open failed");
    case file_step::read:
      return line.append(" read failed");
    case file_step::write:
      break;
  }
  return line.append(" write failed");
}

std::string file_failure_line(std::string_view role, std::string_view path, file_step step) {
  std::string what(role);
  return step_failure_line(what.append(" ").append(path), step);
}

failure file_failure(std::string_view role, std::string_view path, file_step step) {
  return {file_failure_line(role, path, step), false};
}

int exit_status_of(const failure& what) {
  if (!what.failed()) return success_status;
  return what.usage ? usage_status : failure_status;
}
