#include "checker/results.h"

std::string_view strategy_key(strategy_id strategy) { return traits_of(strategy).key; }

std::string_view strategy_title(strategy_id strategy) { return traits_of(strategy).title; }

std::string_view fault_text(token_fault fault) {
  return fault == token_fault::out_of_range ? "is outside the signed 32-bit range"
                                            : "has no leading number";
}
