// Core value types shared by the clique routines.
//
// Everything here is plain C++: the routines in this directory never see a
// Python object.  Variable-length node sequences (neighbour lists, cliques)
// are stored flat, one node array plus an offset array, so that a list of a
// million cliques costs two allocations instead of a million.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vexa::graph {

using Node = std::uint64_t;
using Weight = std::int64_t;

// Positions in the routines' own arrays (cliques of a level, children in a
// tree, nodes of a simple graph) are kept in 32 bits where a table of them
// is large: half the memory traffic of size_t.  A routine that meets more
// items than this type counts takes another route or fails cleanly.
using Index = std::uint32_t;
inline constexpr Index kNoIndex = std::numeric_limits<Index>::max();

// An ordered list of node sequences in compressed-row form: sequence i is
// nodes[offsets[i] .. offsets[i+1]).  offsets always starts with 0 and has
// size() + 1 entries.
class SeqList {
 public:
  SeqList() : offsets_{0} {}
  SeqList(std::initializer_list<std::initializer_list<Node>> seqs) : SeqList() {
    for (auto s : seqs) push_back(std::span<const Node>(s.begin(), s.size()));
  }

  std::size_t size() const noexcept { return offsets_.size() - 1; }
  bool empty() const noexcept { return size() == 0; }
  std::size_t total_nodes() const noexcept { return nodes_.size(); }

  std::span<const Node> operator[](std::size_t i) const noexcept {
    return {nodes_.data() + offsets_[i], offsets_[i + 1] - offsets_[i]};
  }
  std::size_t length(std::size_t i) const noexcept {
    return offsets_[i + 1] - offsets_[i];
  }

  void push_back(std::span<const Node> seq) {
    nodes_.insert(nodes_.end(), seq.begin(), seq.end());
    offsets_.push_back(nodes_.size());
  }
  void push_back(std::initializer_list<Node> seq) {
    push_back(std::span<const Node>(seq.begin(), seq.size()));
  }
  // Building a sequence node by node: push_node() any number of times, then
  // close_seq() to end it.
  void push_node(Node v) { nodes_.push_back(v); }
  void close_seq() { offsets_.push_back(nodes_.size()); }

  void reserve(std::size_t seqs, std::size_t nodes) {
    offsets_.reserve(seqs + 1);
    nodes_.reserve(nodes);
  }
  void clear() noexcept {
    nodes_.clear();
    offsets_.assign(1, 0);
  }

  // Raw access for builders that fill the arrays directly.
  std::vector<Node>& nodes() noexcept { return nodes_; }
  const std::vector<Node>& nodes() const noexcept { return nodes_; }
  std::vector<std::size_t>& offsets() noexcept { return offsets_; }
  const std::vector<std::size_t>& offsets() const noexcept { return offsets_; }

  // Copies out as nested vectors; meant for tests and debugging.
  std::vector<std::vector<Node>> to_vectors() const {
    std::vector<std::vector<Node>> out;
    out.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) out.emplace_back((*this)[i].begin(), (*this)[i].end());
    return out;
  }

 private:
  std::vector<Node> nodes_;
  std::vector<std::size_t> offsets_;
};

// n neighbour lists, list v holding the node numbers given for node v, as given.
using NeighbourLists = SeqList;
using CliqueList = SeqList;
using WeightList = std::vector<Weight>;

struct WeightedCliques {
  CliqueList cliques;
  WeightList weights;
};

// Weight arithmetic wraps as two's complement: do it in unsigned integers so
// that overflow is defined.
inline Weight wrap_add(Weight a, Weight b) noexcept {
  return static_cast<Weight>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
}
inline Weight wrap_sub(Weight a, Weight b) noexcept {
  return static_cast<Weight>(static_cast<std::uint64_t>(a) - static_cast<std::uint64_t>(b));
}

// An internal failure: a routine cannot go on.  The Python frame turns it into
// PanicException carrying message().
class Failure {
 public:
  explicit Failure(std::string message) : message_(std::move(message)) {}
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

}  // namespace vexa::graph
