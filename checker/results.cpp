#include "checker/results.h"

std::string_view strategy_key(strategy_id strategy) {
  switch (strategy) {
    case strategy_id::linear_probing:
      return "linear_probing";
    case strategy_id::two_pass_hashing:
      return "two_pass_hashing";
    case strategy_id::double_hashing:
      break;
  }
  return "double_hashing";
}

std::string_view strategy_title(strategy_id strategy) {
  switch (strategy) {
    case strategy_id::linear_probing:
      return "linear probing";
    case strategy_id::two_pass_hashing:
      return "two-pass hashing";
    case strategy_id::double_hashing:
      break;
  }
  return "double hashing";
}

const key_list& layout_of(const layouts& built, strategy_id strategy) {
  switch (strategy) {
    case strategy_id::linear_probing:
      return built.linear_prob_contents;
    case strategy_id::two_pass_hashing:
      return built.two_pass_hasing_contents;
    case strategy_id::double_hashing:
      break;
  }
  return built.double_hasing_contents;
}

std::string_view fault_text(token_fault fault) {
  return fault == token_fault::out_of_range ? "is outside the signed 32-bit range"
                                            : "has no leading number";
}
