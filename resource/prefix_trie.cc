#include "resource/prefix_trie.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>

#include "resource/lexicon.h"
#include "text/large_table.h"

namespace verrin {

// Nodes are numbered from 1 (0 means "none"); node n stands for one prefix
// of at least one key. A node for a one-unit prefix hangs from the root
// table; every deeper node is reached through the edge table. Both tables
// hold plain integers, so a lexicon of some hundred thousand words is a few
// large allocations rather than one per node.
//
// An edge is filed under a hash of the whole prefix it leads to, not of its
// parent node: the slots a walk will probe follow from the text alone, so
// they are fetched together before the walk needs them, instead of one
// cache miss waiting for the next. The edge is still recognised by its
// parent and unit, so the hash only decides where to look.
struct CPrefixTrie::Impl {
  // A one-unit prefix: its node, and whether it is a key with which value
  // (8 bytes, so that the table is 512 KB).
  struct Root {
    uint32_t node : 31;
    uint32_t is_key : 1;
    int32_t value;
  };
  static_assert(sizeof(Root) == 8, "a root is two words");
  // The edge to a node carries the node's key mark and value, so that a walk
  // reads one place per unit.
  struct Edge {
    uint32_t parent = 0;  // 0: empty slot
    uint32_t child = 0;
    int32_t value = 0;
    char16_t unit = 0;
    uint16_t is_key = 0;
  };

  // Zeroed by calloc: fresh pages from the system are zero already, so only
  // the pages of roots in use are ever touched (a small lexicon, or a
  // dictionary of Chinese words only, costs a fraction of the 512 KB).
  struct FreeRoots {
    void operator()(Root* roots) const { std::free(roots); }
  };
  static Root* AllocateRoots() {
    void* block = std::calloc(65536, sizeof(Root));
    if (block == nullptr) throw std::bad_alloc();
    return static_cast<Root*>(block);
  }
  std::unique_ptr<Root[], FreeRoots> roots{AllocateRoots()};
  // Per node, the high half of its prefix's hash (for growing the table).
  std::vector<uint32_t> node_hashes = std::vector<uint32_t>(1, 0);
  // A power of two. The dictionary's is some megabytes, probed at random
  // for every word cut: on 2 MB pages (where the kernel allows) a walk's
  // probes cost no page-table walks of their own.
  CLargeTable<Edge> edges = CLargeTable<Edge>(1024);
  size_t edge_count = 0;
  int32_t key_count = 0;

  // The hash of a prefix extended by one unit; the prefix of one unit u has
  // Extend(0, u).
  static uint64_t Extend(uint64_t hash, char16_t unit) {
    return (hash + unit + 1) * 0x9E3779B97F4A7C15ull;
  }
  static size_t Slot(uint64_t hash, size_t mask) { return static_cast<size_t>(hash >> 32) & mask; }

  void Prefetch(uint64_t hash) const { __builtin_prefetch(&edges[Slot(hash, edges.size() - 1)]); }

  // The edge from `parent` by `unit` (the prefix of hash `hash`), null when
  // there is none.
  const Edge* FindEdge(uint32_t parent, char16_t unit, uint64_t hash) const {
    const size_t mask = edges.size() - 1;
    for (size_t i = Slot(hash, mask);; i = (i + 1) & mask) {
      const Edge& e = edges[i];
      if (e.parent == 0) return nullptr;
      if (e.parent == parent && e.unit == unit) return &e;
    }
  }

  uint32_t NewNode(uint64_t hash) {
    node_hashes.push_back(static_cast<uint32_t>(hash >> 32));
    return static_cast<uint32_t>(node_hashes.size() - 1);
  }

  void PlaceEdge(const Edge& edge, uint64_t hash) {
    const size_t mask = edges.size() - 1;
    size_t i = Slot(hash, mask);
    while (edges[i].parent != 0) i = (i + 1) & mask;
    edges[i] = edge;
  }

  Edge& EdgeOrNew(uint32_t parent, char16_t unit, uint64_t hash) {
    if (const Edge* edge = FindEdge(parent, unit, hash)) return const_cast<Edge&>(*edge);
    // Linear probing stays short while the table is at most 70% full.
    if ((edge_count + 1) * 10 > edges.size() * 7) {
      CLargeTable<Edge> old(edges.size() * 2);
      old.swap(edges);
      for (const Edge& e : old) {
        if (e.parent != 0) PlaceEdge(e, uint64_t{node_hashes[e.child]} << 32);
      }
    }
    Edge edge;
    edge.parent = parent;
    edge.unit = unit;
    edge.child = NewNode(hash);
    PlaceEdge(edge, hash);
    ++edge_count;
    return const_cast<Edge&>(*FindEdge(parent, unit, hash));
  }

  // Calls visit(length, is_key, value) for the prefixes of text[0, max_length)
  // that are nodes, shortest first, while it returns true; the walk also ends
  // at a NUL of the text.
  template <class Visit>
  void Walk(const char16_t* text, int32_t max_length, Visit visit) const;
};

template <class Visit>
void CPrefixTrie::Impl::Walk(const char16_t* text, int32_t max_length, Visit visit) const {
  if (text == nullptr || max_length <= 0 || text[0] == 0) return;
  const Root& root = roots[text[0]];
  if (root.node == 0) return;
  // The slots of the next few prefixes are fetched at once; `ahead` is the
  // length of the last prefix asked for, `ahead_hash` its hash.
  constexpr int32_t kAhead = 4;
  uint64_t hash = Extend(0, text[0]);
  uint64_t ahead_hash = hash;
  int32_t ahead = 1;
  while (ahead < max_length && ahead <= kAhead && text[ahead] != 0) {
    ahead_hash = Extend(ahead_hash, text[ahead]);
    Prefetch(ahead_hash);
    ++ahead;
  }
  if (!visit(1, root.is_key != 0, root.value)) return;
  uint32_t node = root.node;
  for (int32_t length = 1; length < max_length && text[length] != 0; ++length) {
    if (ahead < max_length && text[ahead] != 0) {
      ahead_hash = Extend(ahead_hash, text[ahead]);
      Prefetch(ahead_hash);
      ++ahead;
    }
    hash = Extend(hash, text[length]);
    const Edge* edge = FindEdge(node, text[length], hash);
    if (edge == nullptr) return;
    node = edge->child;
    if (!visit(length + 1, edge->is_key != 0, edge->value)) return;
  }
}

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
  uint64_t hash = Impl::Extend(0, key[0]);
  Impl::Root& root = impl_->roots[key[0]];
  if (root.node == 0) root.node = impl_->NewNode(hash) & 0x7FFFFFFFu;
  int32_t* stored = &root.value;
  uint32_t node = root.node;
  uint16_t* edge_is_key = nullptr;
  for (int32_t i = 1; i < length; ++i) {
    hash = Impl::Extend(hash, key[i]);
    Impl::Edge& edge = impl_->EdgeOrNew(node, key[i], hash);
    node = edge.child;
    edge_is_key = &edge.is_key;
    stored = &edge.value;
  }
  if (edge_is_key != nullptr ? *edge_is_key != 0 : root.is_key != 0) return false;
  if (edge_is_key != nullptr) {
    *edge_is_key = 1;
  } else {
    root.is_key = 1;
  }
  *stored = value;
  ++impl_->key_count;
  return true;
}

int32_t CPrefixTrie::PrefixMatches(const char16_t* text, int32_t max_length, PrefixMatch* out,
                                   int32_t limit) const {
  if (limit <= 0) return 0;
  int32_t count = 0;
  impl_->Walk(text, max_length, [&](int32_t length, bool is_key, int32_t value) {
    if (!is_key) return true;
    out[count].length = length;
    out[count].entry = value;
    return ++count < limit;
  });
  return count;
}

int32_t CPrefixTrie::LastPrefixMatch(const char16_t* text, int32_t max_length, int32_t limit,
                                     int32_t* value) const {
  if (limit <= 0) return 0;
  int32_t count = 0;
  int32_t last = 0;
  impl_->Walk(text, max_length, [&](int32_t length, bool is_key, int32_t stored) {
    if (!is_key) return true;
    last = length;
    *value = stored;
    return ++count < limit;
  });
  return last;
}

void CPrefixTrie::PrefetchWalks(const char16_t* text, int32_t length, int32_t begin,
                                int32_t end) const {
  if (text == nullptr) return;
  end = std::min(end, length);
  for (int32_t i = std::max(begin, 0); i < end; ++i) {
    __builtin_prefetch(&impl_->roots[text[i]]);
    if (i + 1 >= length) break;
    const uint64_t two = Impl::Extend(Impl::Extend(0, text[i]), text[i + 1]);
    impl_->Prefetch(two);
    // A walk probes one prefix past its last match: most words are of one
    // or two units.
    if (i + 2 < length) impl_->Prefetch(Impl::Extend(two, text[i + 2]));
  }
}

int32_t CPrefixTrie::Find(const char16_t* key, int32_t length) const {
  if (key == nullptr || length <= 0) return 0;
  const Impl::Root& root = impl_->roots[key[0]];
  if (root.node == 0) return 0;
  if (length == 1) return root.is_key != 0 ? root.value : 0;
  uint64_t hash = Impl::Extend(0, key[0]);
  uint32_t node = root.node;
  const Impl::Edge* edge = nullptr;
  for (int32_t i = 1; i < length; ++i) {
    hash = Impl::Extend(hash, key[i]);
    edge = impl_->FindEdge(node, key[i], hash);
    if (edge == nullptr) return 0;
    node = edge->child;
  }
  return edge->is_key != 0 ? edge->value : 0;
}

}  // namespace verrin
