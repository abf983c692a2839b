// The diagnosis of a Wrong line as a JSON object, for the JSON report.
#pragma once

#include "checker/diagnosis.h"
#include "render/text_out.h"

/// Writes `d` as one JSON object; an absent value is null, a list is an array. The field names
/// are fixed: autograders and tests read them. Without `answer`, the members taken from the
/// correct build (expected key and slot, misplaced key, probe path, missing keys) are left out.
void put_diagnosis_json(text_out& out, const diagnosis& d, bool answer = true);
