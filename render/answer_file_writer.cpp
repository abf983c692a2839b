#include "render/answer_file_writer.h"

#include "hashing/program_limits.h"
#include "render/key_text.h"

namespace {
// A large case is written beside the console; syncing it there keeps the answer file's final
// sync, which the run waits for, short.
constexpr std::int64_t slots_worth_a_sync = large_case_slots;
}  // namespace

void answer_file_writer::begin_case(const case_result& record) {
  for (const strategy_id strategy : all_strategies) {
    write_keys(out_, layout_of(record.expected, strategy));
  }
  if (record.table_size >= slots_worth_a_sync) flush_text_to_disk(out_);
}
