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
  // Per node: whether its prefix is a key, and the key's value.
  struct Node {
    int32_t value = 0;
    uint32_t is_key = 0;
  };
  // The edge to a node carries a copy of the node's Node, so that a walk
  // reads one place per unit.
  struct Edge {
    uint32_t parent = 0;  // 0: empty slot
    uint32_t child = 0;
    int32_t value = 0;
    char16_t unit = 0;
    uint16_t is_key = 0;
  };

  std::vector<uint32_t> roots = std::vector<uint32_t>(65536, 0);
  std::vector<Node> nodes = std::vector<Node>(1);
  std::vector<Edge> edges = std::vector<Edge>(1024);  // power of two
  size_t edge_count = 0;
  int32_t key_count = 0;

  // Fibonacci hashing of (parent, unit) onto the table size.
  size_t Slot(uint32_t parent, char16_t unit, size_t mask) const {
    const uint64_t x = (uint64_t{parent} << 16 | unit) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(x >> 32) & mask;
  }

  // The edge from `parent` by `unit`, null when there is none.
  const Edge* FindEdge(uint32_t parent, char16_t unit) const {
    const size_t mask = edges.size() - 1;
    for (size_t i = Slot(parent, unit, mask);; i = (i + 1) & mask) {
      const Edge& e = edges[i];
      if (e.parent == 0) return nullptr;
      if (e.parent == parent && e.unit == unit) return &e;
    }
  }
  uint32_t Child(uint32_t parent, char16_t unit) const {
    const Edge* edge = FindEdge(parent, unit);
    return edge != nullptr ? edge->child : 0;
  }

  uint32_t NewNode() {
    nodes.emplace_back();
    return static_cast<uint32_t>(nodes.size() - 1);
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
  uint32_t parent = 0;
  for (int32_t i = 1; i < length; ++i) {
    parent = node;
    node = impl_->ChildOrNew(node, key[i]);
  }
  Impl::Node& stored = impl_->nodes[node];
  if (stored.is_key != 0) return false;
  stored.is_key = 1;
  stored.value = value;
  if (parent != 0) {
    // The copy on the edge that leads to the node.
    Impl::Edge& edge = const_cast<Impl::Edge&>(*impl_->FindEdge(parent, key[length - 1]));
    edge.is_key = 1;
    edge.value = value;
  }
  ++impl_->key_count;
  return true;
}

int32_t CPrefixTrie::PrefixMatches(const char16_t* text, int32_t max_length, PrefixMatch* out,
                                   int32_t limit) const {
  if (text == nullptr || max_length <= 0 || limit <= 0 || text[0] == 0) return 0;
  uint32_t node = impl_->roots[text[0]];
  int32_t count = 0;
  for (int32_t length = 1; node != 0; ++length) {
    const Impl::Node& stored = impl_->nodes[node];
    if (stored.is_key != 0) {
      out[count].length = length;
      out[count].entry = stored.value;
      if (++count == limit) break;
    }
    if (length >= max_length || text[length] == 0) break;
    node = impl_->Child(node, text[length]);
  }
  return count;
}

int32_t CPrefixTrie::LastPrefixMatch(const char16_t* text, int32_t max_length, int32_t limit,
                                     int32_t* value) const {
  if (text == nullptr || max_length <= 0 || limit <= 0 || text[0] == 0) return 0;
  uint32_t node = impl_->roots[text[0]];
  if (node == 0) return 0;
  int32_t count = 0;
  int32_t last = 0;
  const Impl::Node& root = impl_->nodes[node];
  if (root.is_key != 0) {
    last = 1;
    *value = root.value;
    if (++count == limit) return last;
  }
  // Deeper nodes are read from the edges that lead to them.
  for (int32_t length = 1; length < max_length && text[length] != 0; ++length) {
    const Impl::Edge* edge = impl_->FindEdge(node, text[length]);
    if (edge == nullptr) break;
    node = edge->child;
    if (edge->is_key != 0) {
      last = length + 1;
      *value = edge->value;
      if (++count == limit) break;
    }
  }
  return last;
}

int32_t CPrefixTrie::Find(const char16_t* key, int32_t length) const {
  if (key == nullptr || length <= 0) return 0;
  uint32_t node = impl_->roots[key[0]];
  for (int32_t i = 1; i < length && node != 0; ++i) node = impl_->Child(node, key[i]);
  return node != 0 && impl_->nodes[node].is_key != 0 ? impl_->nodes[node].value : 0;
}

}  // namespace verrin
