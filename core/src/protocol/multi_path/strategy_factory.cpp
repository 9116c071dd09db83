#include "protocol/multi_path/strategy_factory.hpp"

#include <memory>

#include "protocol/multi_path/beam_search.hpp"
#include "protocol/multi_path/default_searcher.hpp"
#include "protocol/multi_path/simple_strategy.hpp"

namespace morvane {
namespace {

struct Make {
  SharedStrategy operator()(const StrategyConfig::Simple& c) const {
    return std::make_shared<const SimpleStrategy>(c.min_steps, c.max_steps, c.parallel);
  }
  SharedStrategy operator()(const StrategyConfig::BeamSearch& c) const {
    return std::make_shared<const BeamSearchStrategy>(std::make_shared<const DefaultSearcher>(), c.beam_width,
                                                      c.max_depth);
  }
};

}  // namespace

SharedStrategy create_strategy(const StrategyConfig& config) { return std::visit(Make{}, config.value); }

SharedStrategy simple_strategy() { return create_strategy(StrategyConfig::Simple{2, 10, true}); }

}  // namespace morvane
