#include "render/answer_file_writer.h"

#include "render/key_text.h"

void answer_file_writer::begin_case(const case_result& record) {
  for (const strategy_id strategy : all_strategies) {
    write_keys(out_, layout_of(record.expected, strategy));
  }
}
