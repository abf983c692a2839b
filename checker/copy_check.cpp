#include "checker/copy_check.h"

namespace {

bool separator(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == ',' || c == ';' || c == '[' || c == ']' ||
         c == '(' || c == ')' || c == '{' || c == '}';
}

// The tokens of `text`, one space between two of a line and a line feed after each line that
// holds one: what two files holding the same keys line for line have in common.
std::string tokens_of(std::string_view text) {
  std::string tokens;
  tokens.reserve(text.size());
  bool line_has = false;
  bool gap = false;
  for (const char c : text) {
    if (c == '\n') {
      if (line_has) tokens += '\n';
      line_has = gap = false;
    } else if (separator(c)) {
      gap = line_has;
    } else {
      if (gap) tokens += ' ';
      tokens += c;
      line_has = true;
      gap = false;
    }
  }
  if (line_has) tokens += '\n';
  return tokens;
}

}  // namespace

void add_answer(answer_book& book, std::size_t owner, const std::vector<case_result>& cases) {
  std::string text;
  for (const case_result& record : cases) {
    for (const strategy_id strategy : all_strategies) {
      const key_list& layout = layout_of(record.expected, strategy);
      for (std::size_t i = 0; i < layout.size(); ++i) {
        if (i > 0) text += ' ';
        text += std::to_string(layout[i]);
      }
      text += '\n';
    }
  }
  book.longest = std::max(book.longest, text.size());
  std::vector<std::size_t>& owners = book.owners[tokens_of(text)];
  if (owners.empty() || owners.back() != owner) owners.push_back(owner);
}

std::size_t answer_read_limit(const answer_book& book) {
  // Room for a file that spaces its keys widely, ends its lines in CR LF or adds blank lines.
  return 4 * book.longest + 4096;
}

std::vector<std::size_t> answer_owners(const answer_book& book, std::string_view text) {
  const auto found = book.owners.find(tokens_of(text));
  return found == book.owners.end() ? std::vector<std::size_t>{} : found->second;
}
