#include "clique_weights_noprune.hpp"

#include "sequence_index.hpp"

namespace vexa::graph {

WeightList calc_clique_weights_noprune(const CliqueList& cliques) {
  return weigh_through_index(cliques, [&](WeightList& weights, SubcliqueLookup& lookup, InterruptPoll& poll) {
    for (std::size_t i = 0; i < cliques.size(); ++i) {
      const auto q = cliques[i];
      const std::size_t n = q.size();
      lookup.walk(q, n, poll, [&](std::size_t j, std::size_t k) {
        weights[j] = wrap_add(weights[j], (n + k) % 2 == 0 ? 1 : -1);
      });
      poll.tick();
    }
  });
}

}  // namespace vexa::graph
