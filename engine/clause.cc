#include "engine/clause.h"

#include <utility>

namespace verrin {

NEWordNode NENodePool::Take() {
  if (spare_.empty()) return NEWordNode();
  NEWordNode node = std::move(spare_.back());
  spare_.pop_back();
  node.Clear();
  return node;
}

NEWordNode& NENodePool::Append(std::vector<NEWordNode>& nodes) {
  nodes.push_back(Take());
  return nodes.back();
}

void NENodePool::AppendCopy(std::vector<NEWordNode>& nodes, const NEWordNode& node) {
  NEWordNode& copy = Append(nodes);
  copy.nStart = node.nStart;
  copy.nLength = node.nLength;
  copy.nType = node.nType;
  copy.strWord.Refill(node.strWord);
  copy.vecParts = node.vecParts;
  copy.strTag.Refill(node.strTag);
  copy.nTextPos = node.nTextPos;
  copy.nTextLen = node.nTextLen;
  copy.strText.Refill(node.strText);
}

void NENodePool::Recycle(std::vector<NEWordNode>& nodes) {
  for (NEWordNode& node : nodes) spare_.push_back(std::move(node));
  nodes.clear();
}

void NENodePool::Recycle(NEWordNode&& node) { spare_.push_back(std::move(node)); }

}  // namespace verrin
