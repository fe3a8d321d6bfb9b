// The order of a decomposition's result: size groups largest first, each
// ascending lexicographically, the empty clique last.
#pragma once

#include <vector>

#include "interrupt.hpp"
#include "size_tables.hpp"
#include "types.hpp"

namespace vexa::graph {

// The entries of non-zero weight (1 - cover) of `tables`, in result order.
WeightedCliques collect_in_order(const Tables& tables, InterruptPoll& poll);

// Sorts node numbers ascending, with interrupt checks between steps.
void sort_nodes(std::vector<Node>& nodes, InterruptPoll& poll);

}  // namespace vexa::graph
