// Decoding and checking the tree once at load, so that the per-frame walk
// can trust every index in it.
#include "bsp/tree.h"

#include <algorithm>

#include "bsp/level.h"

namespace {

template <typename Node>
void DecodeNodes(const std::vector<Node>& records) {
  std::vector<TreeNode>& nodes = Level.tree.nodes;
  nodes.resize(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const Node& r = records[i];
    TreeNode& n = nodes[i];
    n.plane = r.plane;
    n.children[0] = r.children[0];
    n.children[1] = r.children[1];
    for (int a = 0; a < 3; ++a) n.mins[a] = float(r.mins[a]), n.maxs[a] = float(r.maxs[a]);
    n.parent = -1;
  }
}

template <typename Leaf>
void DecodeLeaves(const std::vector<Leaf>& records) {
  std::vector<TreeLeaf>& leaves = Level.tree.leaves;
  leaves.resize(records.size());
  for (size_t i = 0; i < records.size(); ++i) {
    const Leaf& r = records[i];
    TreeLeaf& l = leaves[i];
    l.contents = r.contents;
    l.visOffset = r.visOffset;
    for (int a = 0; a < 3; ++a) l.mins[a] = float(r.mins[a]), l.maxs[a] = float(r.maxs[a]);
    l.firstMark = r.firstMarkSurface;
    l.markCount = r.markSurfaceCount;
    l.parent = -1;
  }
}

template <typename Node, typename Leaf, typename Mark>
void ReadRecords() {
  std::vector<Node> nodes;
  std::vector<Leaf> leaves;
  std::vector<Mark> marks;
  ReadLumpArray(kNodesLump, &nodes);
  ReadLumpArray(kLeavesLump, &leaves);
  ReadLumpArray(kMarkSurfacesLump, &marks);
  DecodeNodes(nodes);
  DecodeLeaves(leaves);
  Level.tree.marks.assign(marks.begin(), marks.end());
}

// Every index a walk follows: planes, children (each node reached once
// from the head node, so no loops), each leaf's run of faces, and those
// faces, which must be the world's. Sets the parents the walk marks up.
bool TreeIsSound() {
  Tree& tree = Level.tree;
  const int64_t nodeCount = int64_t(tree.nodes.size()), leafCount = int64_t(tree.leaves.size());
  if (tree.headNode < 0 || tree.headNode >= nodeCount) return false;
  const int64_t firstFace = Level.worldModel.faceStart;
  const int64_t lastFace = firstFace + Level.worldModel.faceTotal;
  std::vector<uint8_t> reached(size_t(nodeCount), 0);
  std::vector<int32_t> pending{tree.headNode};
  reached[size_t(tree.headNode)] = 1;
  while (!pending.empty()) {
    const int32_t index = pending.back();
    pending.pop_back();
    TreeNode& node = tree.nodes[size_t(index)];
    if (node.plane < 0 || size_t(node.plane) >= tree.planes.size()) return false;
    for (int32_t child : node.children) {
      if (child >= 0) {
        if (child >= nodeCount || reached[size_t(child)]) return false;
        reached[size_t(child)] = 1;
        tree.nodes[size_t(child)].parent = index;
        pending.push_back(child);
        continue;
      }
      const int64_t leafIndex = -(int64_t{child} + 1);
      if (leafIndex >= leafCount) return false;
      TreeLeaf& leaf = tree.leaves[size_t(leafIndex)];
      if (leaf.parent < 0) leaf.parent = index;  // the solid leaf 0 is shared; the first will do
      if (uint64_t{leaf.firstMark} + leaf.markCount > tree.marks.size()) return false;
      for (uint32_t m = 0; m < leaf.markCount; ++m) {
        const int64_t face = tree.marks[leaf.firstMark + m];
        if (face < firstFace || face >= lastFace) return false;
      }
    }
  }
  return true;
}

}  // namespace

void ReadTree() {
  Tree& tree = Level.tree;
  tree = {};
  const int32_t version = BspFile.header.version;
  if (version == kBsp2Version) {
    ReadRecords<Bsp2Node, Bsp2Leaf, uint32_t>();
  } else if (version == k2psbVersion) {
    ReadRecords<PsbNode, PsbLeaf, uint32_t>();
  } else {
    ReadRecords<BspNode, BspLeaf, uint16_t>();
  }
  ReadLumpArray(kPlanesLump, &tree.planes);
  ReadLumpBytes(kVisibilityLump, &tree.visibility);
  tree.headNode = Level.worldModel.headNodes[0];
  tree.visLeafCount = uint32_t(std::max(Level.worldModel.visLeafCount, 0));
  tree.sound = TreeIsSound();
  tree.trusted = tree.sound && !tree.visibility.empty() &&
                 int64_t{tree.visLeafCount} < int64_t(tree.leaves.size());
}

int DecodeVisibility(const TreeLeaf& leaf, std::vector<uint8_t>* row) {
  const std::vector<uint8_t>& vis = Level.tree.visibility;
  const size_t bytes = (size_t{Level.tree.visLeafCount} + 7) / 8;
  row->assign(bytes, 0);
  if (leaf.visOffset < 0 || size_t(leaf.visOffset) >= vis.size()) return 1;
  size_t in = size_t(leaf.visOffset), out = 0;
  while (out < bytes) {
    if (in >= vis.size()) return 1;
    const uint8_t b = vis[in++];
    if (b != 0) {
      (*row)[out++] = b;
      continue;
    }
    if (in >= vis.size()) return 1;
    out += vis[in++];  // a run of zero bytes, already zero
  }
  return 0;
}
