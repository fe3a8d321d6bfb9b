#include "sequence_index.hpp"

#include <algorithm>
#include <bit>
#include <random>

#include "interrupt.hpp"

namespace vexa::graph {
namespace {

// One random key per process, so that no fixed input can be made to collide.
std::uint64_t process_seed() {
  static const std::uint64_t seed = [] {
    std::random_device rd;
    return (std::uint64_t{rd()} << 32) ^ rd();
  }();
  return seed;
}

}  // namespace

SequenceIndex::SequenceIndex(const CliqueList& list) : list_(list), seed_(process_seed()) {
  const std::size_t m = list.size();
  // At most half full, so that probe runs stay short.
  const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, 2 * m));
  slots_.assign(capacity, Slot{0, npos});
  mask_ = capacity - 1;
  InterruptPoll poll;
  for (std::size_t p = 0; p < m; ++p) {
    const auto seq = list[p];
    const std::uint64_t h = hash(seq);
    for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if (slot.pos == npos) {
        slot = Slot{h, p};
        break;
      }
      if (slot.hash == h && same(list[slot.pos], seq)) {
        slot.pos = p;  // a later copy replaces the earlier one
        break;
      }
    }
    poll.tick();
  }
}

}  // namespace vexa::graph
