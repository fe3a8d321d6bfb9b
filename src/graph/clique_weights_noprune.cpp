#include "clique_weights_noprune.hpp"

#include "interrupt.hpp"
#include "sequence_index.hpp"

namespace vexa::graph {

WeightList calc_clique_weights_noprune(const CliqueList& cliques) {
  const std::size_t m = cliques.size();
  WeightList weights(m, 0);
  if (m == 0) return weights;
  const SequenceIndex index(cliques);
  SubcliqueLookup lookup(index);
  InterruptPoll poll;
  for (std::size_t i = 0; i < m; ++i) {
    const auto q = cliques[i];
    const std::size_t n = q.size();
    lookup.walk(q, n, poll, [&](std::size_t j, std::size_t k) {
      weights[j] = wrap_add(weights[j], (n + k) % 2 == 0 ? 1 : -1);
    });
    poll.tick();
  }
  return weights;
}

}  // namespace vexa::graph
