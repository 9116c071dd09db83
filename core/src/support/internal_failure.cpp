#include "support/internal_failure.hpp"

namespace morvane {

std::string InternalFailure::location() const {
  std::string text = where_.file_name();
  text += ':';
  text += std::to_string(where_.line());
  text += ':';
  text += std::to_string(where_.column());
  return text;
}

}  // namespace morvane
