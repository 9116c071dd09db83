// JsonError: why a JSON text could not be read into a record. The message is the
// whole text shown to the caller and ends with the line and column where reading
// stopped.
#pragma once

#include <string>

namespace morvane {

struct JsonError {
  std::string message;
};

}  // namespace morvane
