// CoreError<Kind>: the shape that the core's error values share: which failure it is
// (an enumerator of Kind) and its detail text (empty for a kind that has none), equal
// when both agree. Each error derives from it and adds its own text form and the
// factories its operations use; any kind can also be made with the constructor.
#pragma once

#include <string>
#include <utility>

namespace morvane {

template <class KindEnum>
class CoreError {
 public:
  using Kind = KindEnum;

  explicit CoreError(Kind kind, std::string detail = {}) : kind_(kind), detail_(std::move(detail)) {}

  Kind kind() const noexcept { return kind_; }
  const std::string& detail() const noexcept { return detail_; }

  bool operator==(const CoreError&) const = default;

 private:
  Kind kind_;
  std::string detail_;
};

}  // namespace morvane
