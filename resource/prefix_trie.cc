#include "resource/prefix_trie.h"

#include <algorithm>

#include "resource/lexicon.h"

namespace verrin {

// Nodes are numbered from 1 (0 means "none"); node n stands for one prefix
// of at least one key. A node for a one-unit prefix hangs from the root
// table; every deeper node is reached through the edge table. Both tables
// hold plain integers, so a lexicon of some hundred thousand words is a few
// large allocations rather than one per node.
struct CPrefixTrie::Impl {
  struct Edge {
    uint32_t parent = 0;  // 0: empty slot
    uint32_t child = 0;
    char16_t unit = 0;
  };

  std::vector<uint32_t> roots = std::vector<uint32_t>(65536, 0);
  std::vector<int32_t> values = std::vector<int32_t>(1, 0);  // per node
  std::vector<uint8_t> is_key = std::vector<uint8_t>(1, 0);  // per node
  std::vector<Edge> edges = std::vector<Edge>(1024);         // power of two
  size_t edge_count = 0;
  int32_t key_count = 0;

  // Fibonacci hashing of (parent, unit) onto the table size.
  size_t Slot(uint32_t parent, char16_t unit, size_t mask) const {
    const uint64_t x = (uint64_t{parent} << 16 | unit) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(x >> 32) & mask;
  }

  uint32_t Child(uint32_t parent, char16_t unit) const {
    const size_t mask = edges.size() - 1;
    for (size_t i = Slot(parent, unit, mask);; i = (i + 1) & mask) {
      const Edge& e = edges[i];
      if (e.parent == 0) return 0;
      if (e.parent == parent && e.unit == unit) return e.child;
    }
  }

  uint32_t NewNode() {
    values.push_back(0);
    is_key.push_back(0);
    return static_cast<uint32_t>(values.size() - 1);
  }

  void PlaceEdge(const Edge& edge) {
    const size_t mask = edges.size() - 1;
    size_t i = Slot(edge.parent, edge.unit, mask);
    while (edges[i].parent != 0) i = (i + 1) & mask;
    edges[i] = edge;
  }

  uint32_t ChildOrNew(uint32_t parent, char16_t unit) {
    if (const uint32_t child = Child(parent, unit)) return child;
    // Linear probing stays short while the table is at most 70% full.
    if ((edge_count + 1) * 10 > edges.size() * 7) {
      std::vector<Edge> old(edges.size() * 2);
      old.swap(edges);
      for (const Edge& e : old) {
        if (e.parent != 0) PlaceEdge(e);
      }
    }
    Edge edge;
    edge.parent = parent;
    edge.unit = unit;
    edge.child = NewNode();
    PlaceEdge(edge);
    ++edge_count;
    return edge.child;
  }
};

CPrefixTrie::CPrefixTrie() : impl_(new Impl) {}

CPrefixTrie::~CPrefixTrie() { delete impl_; }

void CPrefixTrie::Clear() {
  delete impl_;
  impl_ = new Impl;
  insert_count_ = 0;
  longest_key_ = 0;
}

int32_t CPrefixTrie::KeyCount() const { return impl_->key_count; }

bool CPrefixTrie::Insert(const char16_t* key, int32_t length, int32_t value) {
  if (key == nullptr || length <= 0) return false;
  ++insert_count_;
  longest_key_ = std::max(longest_key_, length);
  uint32_t node = impl_->roots[key[0]];
  if (node == 0) {
    node = impl_->NewNode();
    impl_->roots[key[0]] = node;
  }
  for (int32_t i = 1; i < length; ++i) node = impl_->ChildOrNew(node, key[i]);
  if (impl_->is_key[node]) return false;
  impl_->is_key[node] = 1;
  impl_->values[node] = value;
  ++impl_->key_count;
  return true;
}

int32_t CPrefixTrie::PrefixMatches(const char16_t* text, int32_t max_length, PrefixMatch* out,
                                   int32_t limit) const {
  if (text == nullptr || max_length <= 0 || limit <= 0 || text[0] == 0) return 0;
  uint32_t node = impl_->roots[text[0]];
  int32_t count = 0;
  for (int32_t length = 1; node != 0; ++length) {
    if (impl_->is_key[node]) {
      out[count].length = length;
      out[count].entry = impl_->values[node];
      if (++count == limit) break;
    }
    if (length >= max_length || text[length] == 0) break;
    node = impl_->Child(node, text[length]);
  }
  return count;
}

int32_t CPrefixTrie::Find(const char16_t* key, int32_t length) const {
  if (key == nullptr || length <= 0) return 0;
  uint32_t node = impl_->roots[key[0]];
  for (int32_t i = 1; i < length && node != 0; ++i) node = impl_->Child(node, key[i]);
  return node != 0 && impl_->is_key[node] ? impl_->values[node] : 0;
}

}  // namespace verrin
