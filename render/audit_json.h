// The audit as a JSON report: "mode": "audit", a verdict for every mistake and strategy, and
// what each case offers. docs/report.schema.json describes it.
#pragma once

#include <string>

#include "checker/audit.h"
#include "render/text_out.h"

/// What the report says about the run beside the audit itself.
struct audit_header {
  std::string version;
  std::string input;
  int status = 0;
  std::string error;  // the failure line that ended the audit, empty when none
};

/// Writes the whole report to `out`, which the caller opens and commits.
void write_audit_json(text_out& out, const audit_header& header, const audit_result& result);
