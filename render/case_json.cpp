#include "render/case_json.h"

std::string_view state_key(case_state state) {
  switch (state) {
    case case_state::built:
      return "built";
    case case_state::refused:
      return "refused";
    case case_state::not_built:
      break;
  }
  return "not built";
}
