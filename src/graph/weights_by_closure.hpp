// Weights by the closure of intersections, settled node by node.
#pragma once

#include "interrupt.hpp"
#include "top_incidence.hpp"
#include "types.hpp"

namespace vexa::graph {

// Every clique of non-zero weight with its weight, in result order; the
// incidence is freed before the result is built (only the node numbers are
// left in `tops`).  Without `small_stars`, stars that fit one word take the
// general path too (the two are compared in tests).
WeightedCliques weigh_by_closure(TopIncidence&& tops, InterruptPoll& poll, bool small_stars);

}  // namespace vexa::graph
