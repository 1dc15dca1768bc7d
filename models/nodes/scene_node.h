#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "models/nodes/node_types.h"

namespace zv::platform {
class Device3D;
class XDocument;
}  // namespace zv::platform

namespace zv::models {

// One node of a model's tree: a frame (limb) or a mesh. Nodes are linked by
// first child and next sibling; a node owns its child chain (the children
// and everything below them). The previous-sibling link is set on every node
// but the first of its chain, the parent link only on the first.
//
// The model drives the tree through one set of operations, listed below in
// slot order. Each one does the node's own work and then passes the same
// call to its children in order; a child's call reaches its own subtree.
// So one call on the root visits every node in depth-first pre-order. The
// result of each operation tells the walk whether the node's later siblings
// are still to be visited (false stops the chain it belongs to); callers of
// the root ignore it. Answers travel through the out arguments, which the
// caller initialises; numbers or names that match nothing leave them as
// they were. Names compare exactly, byte for byte.
class SceneNode {
 public:
  // Names hold at most this many characters; longer ones are cut.
  static constexpr size_t kMaxNameLength = 79;

  explicit SceneNode(std::string_view name = {});
  // Destroys the child chain: every node below this one has its resources
  // released once (ReleaseNodeResources) and is deleted. A node's own
  // resources are released by whoever owns it.
  virtual ~SceneNode();
  SceneNode(const SceneNode&) = delete;
  SceneNode& operator=(const SceneNode&) = delete;

  const std::string& name() const { return name_; }
  void set_name(std::string_view name);
  // The limb number: a frame's own, a mesh's that of its frame; 0 is the root.
  int32_t number() const { return number_; }
  void set_number(int32_t number) { number_ = number; }

  SceneNode* next_sibling() const { return next_sibling_; }
  SceneNode* previous_sibling() const { return previous_sibling_; }
  SceneNode* first_child() const { return first_child_; }
  SceneNode* parent() const { return parent_; }
  // The parent of any node: up the chain to its first node, then its parent.
  SceneNode* Owner() const;

  // Links `child` as the last child of this node.
  void AddChildNode(std::unique_ptr<SceneNode> child);
  // Links `node` at the end of this node's sibling chain; the chain's owner
  // owns it from then on.
  void AppendSiblingNode(std::unique_ptr<SceneNode> node);
  // Unlinks this node from its chain and hands it, with its children, to
  // the caller. Null for a node in no chain (a tree's root), which stays
  // with whoever holds it.
  std::unique_ptr<SceneNode> DetachNode();

  // ---- The operations, in slot order -------------------------------------------
  /* 0 */ virtual bool FindFrameByName(std::string_view name, int32_t* number);
  /* 1 */ virtual bool GetFrameName(int32_t number, std::string* name);
  /* 2 */ virtual bool SetRootTransform(uint32_t flag, Matrix4 matrix);
  /* 3 */ virtual bool GetRootTransform(Matrix4** matrix);
  /* 4 */ virtual bool GatherTextureDepths(FrameTextureList& list, double depth);
  // Selector -1 draws every mesh with its own texture bound; any other value
  // draws only the meshes of that texture, with the texture left as bound.
  /* 5 */ virtual bool RenderNode(platform::Device3D& device, int32_t texture_selector);
  /* 6 */ virtual bool RenderNodeSecondPass(platform::Device3D& device);
  /* 7 */ virtual bool RebuildMesh();
  // Collision: a tree shared by several objects (instances) files one set of
  // collision objects per object, keyed by the object's index. Object index
  // 0 (never an object's) frees every object's.
  /* 8 */ virtual bool BuildNodeCollision(uint32_t object_index, int32_t kind, float a, float b,
                                          float c);
  /* 9 */ virtual bool FreeNodeCollision(uint32_t object_index);
  // A hidden limb's meshes file nothing, keeping what was asked of them;
  // shown again, every object using them takes back its shape (an object
  // that asked for none takes one of `kind`).
  /* 10 */ virtual bool FreeNodeCollisionByNumber(uint32_t object_index, int32_t number);
  /* 11 */ virtual bool BuildNodeCollisionByNumber(uint32_t object_index, int32_t number, int32_t kind);
  // Places the object's collision objects: frames walk `matrix` as the
  // measuring walks do, with the root transform applied at the root.
  /* 12 */ virtual bool UpdateNodeCollision(const Matrix4& matrix, uint32_t object_index);
  // Runs ReparentFrame over the children (never on the node it is called on).
  /* 13 */ virtual bool RunReparentPass(ReparentState& state, int32_t moved, int32_t new_parent);
  /* 14 */ virtual bool ReparentFrame(ReparentState& state, int32_t moved, int32_t new_parent);
  /* 15 */ virtual bool SumVertexPositions(const Matrix4& matrix, Vector3f* sum, uint32_t* count);
  /* 16 */ virtual bool MaxVertexDistance(const Matrix4& matrix, const Vector3f& centre, float* maximum);
  /* 17 */ virtual bool MinAxisDistance(const Matrix4& matrix, const Vector3f& point, float* minimum);
  /* 18 */ virtual bool SumLimbVertexPositions(int32_t number, const Matrix4& matrix, Vector3f* sum,
                                              uint32_t* count);
  /* 19 */ virtual bool MaxLimbVertexDistance(int32_t number, const Matrix4& matrix,
                                             const Vector3f& centre, float* maximum);
  // Widens `box` to the meshes that are drawn.
  /* 20 */ virtual bool GetNodeBoundingBox(const Matrix4& matrix, BoundingBox* box);
  /* 21 */ virtual bool ExtractNodeGeometry(platform::Device3D& device, GeometryExtraction& walk);
  /* 22 */ virtual bool GetLimbMeshInfo(int32_t limb, int32_t wanted, int32_t* counter,
                                       int32_t* texture, std::string* name);
  // Stops at the first match: `*matrix` must be null at the start.
  /* 23 */ virtual bool GetFrameMatrixByName(std::string_view name, Matrix4** matrix);
  // Stops at the first match: `arrays->vertices` must be null at the start.
  /* 24 */ virtual bool GetGeometryByName(std::string_view name, MeshArrays* arrays);
  // Frame n takes element n - 1 (the root keeps its matrix).
  /* 25 */ virtual bool LoadFrameMatrices(std::span<const Matrix4> matrices);
  /* 26 */ virtual bool SetFrameMatrix(int32_t number, const Matrix4& matrix);
  /* 27 */ virtual bool GetFrameMatrix(int32_t number, Matrix4* matrix);
  /* 28 */ virtual bool GetFrameWorldMatrix(int32_t number, Matrix4* matrix);
  /* 29 */ virtual bool SetNodeTexture(int32_t number, int32_t texture);
  /* 30 */ virtual bool GetNodeTexture(int32_t number, int32_t* texture);
  /* 31 */ virtual bool GetMeshNodeName(int32_t number, std::string* name);
  /* 32 */ virtual bool QueryNodeTexture(int32_t number, int32_t* texture);
  /* 33 */ virtual bool ScaleFrameTranslation(int32_t number, float x, float y, float z);
  /* 34 */ virtual bool ScaleAllFrameTranslations(float x, float y, float z);
  /* 35 */ virtual bool ScaleNodeVertices(int32_t number, float x, float y, float z);
  /* 36 */ virtual bool ScaleAllVertices(float x, float y, float z);
  /* 37 */ virtual bool ReservedOperation(uint32_t a, uint32_t b);
  /* 38 */ virtual bool ScaleVertexBufferNormals(float factor);
  /* 39 */ virtual bool ReplaceNodeGeometry(int32_t number, const MeshGeometry& mesh);
  /* 40 */ virtual bool SetNodeVisible(int32_t number, uint32_t flag);
  /* 41 */ virtual bool ScrollNodeTexture(int32_t number, float du, float dv);
  /* 42 */ virtual bool ScaleNodeTexture(int32_t number, float su, float sv);
  // Appends every frame numbered above 0.
  /* 43 */ virtual bool ListFramesToChecklist(std::vector<FrameListEntry>& list);
  /* 44 */ virtual bool IsFrameNode() const { return false; }
  // Adds every mesh to the document as a top-level "Mesh" object.
  /* 45 */ virtual bool SaveNodeToX(platform::XDocument& document);
  // Frees what the node holds besides its links (run by the node's owner
  // just before it deletes the node; not forwarded).
  /* 46 */ virtual void ReleaseNodeResources() {}
  // Appends the box of every mesh that is drawn, with its world matrix:
  // frames walk `matrix` as UpdateNodeCollision does.
  /* 47 */ virtual bool GatherMeshBoxes(const Matrix4& matrix, std::vector<MeshBox>& boxes);

 protected:
  // Passes a call on to every child in order, until one stops the chain.
  template <class... Params, class... Args>
  void ForwardToChildren(bool (SceneNode::*operation)(Params...), Args&&... args) {
    // The next link is read after the call: a frame that moves itself
    // elsewhere leaves its old chain, and the walk of that chain ends there.
    for (SceneNode* child = first_child_; child != nullptr; child = child->next_sibling_)
      if (!(child->*operation)(args...)) break;
  }

 private:
  static void DestroyChain(SceneNode* first);

  SceneNode* next_sibling_ = nullptr;
  SceneNode* previous_sibling_ = nullptr;
  SceneNode* first_child_ = nullptr;
  SceneNode* parent_ = nullptr;
  // Where the walk to the end of the child chain may start: a node of that
  // chain (null: its first), so building a long chain stays linear.
  SceneNode* last_child_hint_ = nullptr;
  std::string name_;
  int32_t number_ = 0;
};

}  // namespace zv::models
