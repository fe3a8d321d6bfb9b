// Weights by expansion: every clique of non-zero weight passes its weight
// to all its proper sub-cliques.
#pragma once

#include "interrupt.hpp"
#include "size_tables.hpp"

namespace vexa::graph {

// Settles the covers of `tables` (filled with the top cliques, cover 0):
// afterwards every entry's weight is 1 - cover.  Entries of weight 0 remain
// in the tables.
void weigh_by_expansion(Tables& tables, InterruptPoll& poll);

}  // namespace vexa::graph
