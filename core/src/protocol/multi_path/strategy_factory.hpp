// Strategies made from a configuration value.
//
//   StrategyConfig     Simple{min_steps, max_steps, parallel} or
//                      BeamSearch{beam_width, max_depth}
//   create_strategy    a new shared strategy: a SimpleStrategy with the three fields,
//                      or a BeamSearchStrategy over a new DefaultSearcher. Checks no
//                      value and cannot fail.
//   simple_strategy    create_strategy(Simple{2, 10, true})
#pragma once

#include <cstdint>
#include <variant>

#include "protocol/multi_path/reasoning_strategy.hpp"

namespace morvane {

struct StrategyConfig {
  struct Simple {
    std::uint64_t min_steps = 0;
    std::uint64_t max_steps = 0;
    bool parallel = false;
  };
  struct BeamSearch {
    std::uint64_t beam_width = 0;
    std::uint64_t max_depth = 0;
  };

  StrategyConfig(Simple simple) : value(simple) {}                // NOLINT: implicit on purpose
  StrategyConfig(BeamSearch beam_search) : value(beam_search) {}  // NOLINT: implicit on purpose

  std::variant<Simple, BeamSearch> value;
};

SharedStrategy create_strategy(const StrategyConfig& config);
SharedStrategy simple_strategy();

}  // namespace morvane
