// variants.csv: one row per student of a class given one input each, for the teacher and for
// making one student's variant again.
#pragma once

#include <string>
#include <string_view>

#include "checker/variants.h"

/// The header line, without its line end: "id,name,file,seed,audit".
inline constexpr std::string_view variants_csv_header = "id,name,file,seed,audit";

/// One row without its line end; the identifier and the name guarded and escaped as every CSV
/// field the program writes (a leading "=" is quoted, never a formula).
std::string variants_csv_row(const variant_row& row);
