#include "tools/tables/retraction_table.h"

#include <deque>
#include <map>
#include <optional>

#include "platform/fatal.h"

namespace vld::tables {
namespace {

constexpr int kSymbols = 64;
constexpr int kEndSymbol = 1;  // column 1 is read once at the end of the text
constexpr int kMaxRows = 201;
constexpr int kRetraction = 200;

struct Node {
  std::map<int, int> children;
  int fail = 0;
  int terminal = -1;  // index of the pattern ending exactly here
  int match = -1;     // pattern recognised here: own terminal, else the one of the fail node
  int depth = 0;
};

class Trie {
 public:
  Trie() : nodes_(1) {}

  // Adds pattern `index`; returns the index of an equal earlier pattern, if any.
  std::optional<int> Add(const RetractionPattern& p, int index) {
    int at = 0;
    auto step = [&](int symbol) {
      auto it = nodes_[static_cast<std::size_t>(at)].children.find(symbol);
      if (it == nodes_[static_cast<std::size_t>(at)].children.end()) {
        nodes_.push_back(Node{});
        nodes_.back().depth = nodes_[static_cast<std::size_t>(at)].depth + 1;
        const int child = static_cast<int>(nodes_.size()) - 1;
        nodes_[static_cast<std::size_t>(at)].children[symbol] = child;
        at = child;
      } else {
        at = it->second;
      }
    };
    for (int s : p.symbols) step(s);
    if (p.at_end) step(kEndSymbol);
    Node& end = nodes_[static_cast<std::size_t>(at)];
    if (end.terminal >= 0) return end.terminal;
    end.terminal = index;
    return std::nullopt;
  }

  // Fail links and recognised patterns, breadth first.
  void Link() {
    std::deque<int> queue;
    for (auto& [symbol, child] : nodes_[0].children) {
      nodes_[static_cast<std::size_t>(child)].fail = 0;
      queue.push_back(child);
    }
    nodes_[0].match = nodes_[0].terminal;
    order_.assign(1, 0);
    while (!queue.empty()) {
      const int u = queue.front();
      queue.pop_front();
      order_.push_back(u);
      Node& node = nodes_[static_cast<std::size_t>(u)];
      node.match =
          node.terminal >= 0 ? node.terminal : nodes_[static_cast<std::size_t>(node.fail)].match;
      for (auto& [symbol, child] : node.children) {
        nodes_[static_cast<std::size_t>(child)].fail = Next(node.fail, symbol);
        queue.push_back(child);
      }
    }
  }

  // The node reached from `u` by `symbol` (goto with failure).
  int Next(int u, int symbol) const {
    while (true) {
      const Node& node = nodes_[static_cast<std::size_t>(u)];
      auto it = node.children.find(symbol);
      if (it != node.children.end()) return it->second;
      if (u == 0) return 0;
      u = node.fail;
    }
  }

  const Node& At(int u) const { return nodes_[static_cast<std::size_t>(u)]; }
  const std::vector<int>& BreadthFirst() const { return order_; }

  // The nodes along a pattern, without the root.
  std::vector<int> Path(const RetractionPattern& p) const {
    std::vector<int> path;
    int at = 0;
    for (int s : p.symbols)
      path.push_back(at = nodes_[static_cast<std::size_t>(at)].children.at(s));
    if (p.at_end) path.push_back(nodes_[static_cast<std::size_t>(at)].children.at(kEndSymbol));
    return path;
  }

 private:
  std::vector<Node> nodes_;
  std::vector<int> order_;
};

}  // namespace

int RetractionDepth(const RetractionPattern& pattern) {
  const int n = static_cast<int>(pattern.symbols.size());
  return pattern.at_end ? n : n - 1;
}

std::variant<SequenceRows, RetractionProblem> BuildRetractionTable(
    const std::vector<RetractionPattern>& patterns) {
  Trie trie;
  for (std::size_t i = 0; i < patterns.size(); ++i) {
    const int depth = RetractionDepth(patterns[i]);
    if (depth < 1 || depth > 55) Fatal("BuildRetractionTable: depth");
    if (auto earlier = trie.Add(patterns[i], static_cast<int>(i))) {
      return RetractionProblem{patterns[i].line,
                               Format("Die Rücknahme steht schon in Zeile %d.",
                                      patterns[static_cast<std::size_t>(*earlier)].line)};
    }
  }
  trie.Link();

  // A pattern is dead when a shorter one is recognised on the way to its end.
  for (const RetractionPattern& p : patterns) {
    const std::vector<int> path = trie.Path(p);
    for (std::size_t k = 0; k + 1 < path.size(); ++k) {
      const int match = trie.At(path[k]).match;
      if (match >= 0) {
        return RetractionProblem{
            p.line,
            Format("Die Rücknahme greift nie, weil die Rücknahme aus Zeile %d vorher greift.",
                   patterns[static_cast<std::size_t>(match)].line)};
      }
    }
  }

  // Rows for the nodes that do not complete a pattern, in breadth-first order (root first).
  std::map<int, int> row_of;
  for (int u : trie.BreadthFirst()) {
    if (trie.At(u).match < 0) row_of.emplace(u, static_cast<int>(row_of.size()));
  }
  if (static_cast<int>(row_of.size()) > kMaxRows) {
    return RetractionProblem{
        patterns.empty() ? 0 : patterns.back().line,
        Format("Die Folgetabelle bräuchte %d Zeilen; erlaubt sind höchstens %d.",
               static_cast<int>(row_of.size()), kMaxRows)};
  }

  SequenceRows rows(row_of.size());
  for (auto [u, row] : row_of) {
    for (int symbol = 0; symbol < kSymbols; ++symbol) {
      const int v = trie.Next(u, symbol);
      const int match = trie.At(v).match;
      const int value =
          match >= 0 ? kRetraction + RetractionDepth(patterns[static_cast<std::size_t>(match)])
                     : row_of.at(v);
      rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(symbol)] =
          static_cast<std::uint8_t>(value);
    }
  }
  return rows;
}

}  // namespace vld::tables
