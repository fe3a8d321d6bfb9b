#include "clique_weights.hpp"

#include "sequence_index.hpp"

namespace vexa::graph {

WeightList calc_clique_weights(const CliqueList& cliques) {
  return weigh_through_index(cliques, [&](WeightList& weights, SubcliqueLookup& lookup, InterruptPoll& poll) {
    for (std::size_t i = cliques.size(); i-- > 0;) {
      const Weight w = wrap_sub(1, weights[i]);
      if (w != 0) {
        const auto q = cliques[i];
        lookup.walk(q, q.empty() ? 0 : q.size() - 1, poll,
                    [&](std::size_t j, std::size_t) { weights[j] = wrap_add(weights[j], w); });
      }
      weights[i] = w;
      poll.tick();
    }
  });
}

}  // namespace vexa::graph
