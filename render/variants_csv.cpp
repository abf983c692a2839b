#include "render/variants_csv.h"

#include "render/gradebook_csv.h"
#include "render/text_out.h"

std::string variants_csv_row(const variant_row& row) {
  text_out out;
  put_csv_field(out, row.id);
  put_text(out, ",");
  put_csv_field(out, row.name);
  // The file name, the seed and the audit hold no byte that needs quoting.
  put_text(out, "," + row.file + "," + std::to_string(row.seed) + "," + row.audit);
  return out.pending;
}
