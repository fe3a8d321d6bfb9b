#include "clique_weights.hpp"

#include "interrupt.hpp"
#include "sequence_index.hpp"

namespace vexa::graph {

WeightList calc_clique_weights(const CliqueList& cliques) {
  const std::size_t m = cliques.size();
  WeightList weights(m, 0);
  if (m == 0) return weights;
  const SequenceIndex index(cliques);
  SubcliqueLookup lookup(index);
  InterruptPoll poll;
  for (std::size_t i = m; i-- > 0;) {
    const Weight w = wrap_sub(1, weights[i]);
    if (w != 0) {
      const auto q = cliques[i];
      lookup.walk(q, q.empty() ? 0 : q.size() - 1, poll,
                  [&](std::size_t j, std::size_t) { weights[j] = wrap_add(weights[j], w); });
    }
    weights[i] = w;
    poll.tick();
  }
  return weights;
}

}  // namespace vexa::graph
