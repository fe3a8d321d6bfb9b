#include "sequence_index.hpp"

#include <algorithm>
#include <bit>

#include "interrupt.hpp"

namespace vexa::graph {

SequenceIndex::SequenceIndex(const CliqueList& list) : list_(list), seed_(hash_seed()) {
  const std::size_t m = list.size();
  // At most half full, so that probe runs stay short.
  const std::size_t capacity = std::bit_ceil(std::max<std::size_t>(16, 2 * m));
  slots_.assign(capacity, Slot{0, npos});
  mask_ = capacity - 1;
  InterruptPoll poll;
  for (std::size_t p = 0; p < m; ++p) {
    const auto seq = list[p];
    const std::uint64_t h = hash_nodes(seq.data(), seq.size(), seed_);
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

std::size_t SequenceIndex::total_probes() const noexcept {
  std::size_t probes = 0;
  for (std::size_t i = 0; i < slots_.size(); ++i)
    if (slots_[i].pos != npos) probes += ((i - slots_[i].hash) & mask_) + 1;
  return probes;
}

}  // namespace vexa::graph
