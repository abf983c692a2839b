#include "render/input_writer.h"

#include "render/key_text.h"

void write_case_count(text_out& out, std::int64_t count) {
  put_number(out, count);
  put_text(out, "\n");
}

void write_size_line(text_out& out, std::int64_t table_size) {
  put_number(out, table_size);
  put_text(out, " 0 0\n");
}

void write_input_case(text_out& out, const case_result& record) {
  write_size_line(out, record.table_size);
  write_keys(out, record.first_keys);
  write_keys(out, record.second_keys);
}
