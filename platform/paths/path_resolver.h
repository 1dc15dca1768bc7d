#pragma once

#include <array>
#include <string>
#include <string_view>

namespace zv::platform {

// Names that exist for a program although the disk does not hold them: the
// files and folders a built game carries. Every writer of a file by name
// tells it of the write (through the resolver below), so that what a game
// writes wins over what it carries from that moment on.
class NameLayer {
 public:
  virtual ~NameLayer() = default;
  // A file is about to be made or replaced at `path`, a path of this
  // machine: the folders it needs that exist only in the layer are made.
  virtual void Preparing(const std::string& path) = 0;
  // A file has been written, made, or moved under the name `path`.
  virtual void Written(const std::string& path) = 0;
};

// Turns the file names that programs give (written for a system with drive
// letters, backslashes and case-blind names, in the program's character set)
// into paths of this machine: "\" becomes "/", "X:" maps through the drive
// table (every drive is the file system root unless mapped), the name goes
// out in UTF-8 (see SystemTextOf), and each component that does not exist as
// spelled is matched against its folder without regard to case.
class PathResolver {
 public:
  PathResolver();

  // Maps drive `letter` (either case) to the folder `root`.
  void MapDrive(char letter, std::string root);

  // Only the spelling changes: separators and drive letter.
  std::string ToNative(std::string_view program_path) const;

  // Separators and drive letter as ToNative, the name in UTF-8; then each
  // component that does not exist as spelled takes the spelling of the one
  // entry of its folder that matches without regard to case, or else of the
  // entry spelled (or so matching) in the program's own bytes, as builds
  // before the UTF-8 names wrote them. Components from the first that
  // matches nothing stay as spelled, so files still to be created get the
  // UTF-8 name of what the program wrote.
  std::string Resolve(std::string_view program_path) const;
  // The same for a name relative to `folder`, a path of this machine (a
  // name from the root or a drive leaves the folder aside).
  std::string ResolveFrom(const std::string& folder, std::string_view program_path) const;

  // The layer over the disk's names while a built game runs (not owned);
  // null, the default, for none.
  void SetLayer(NameLayer* layer) { layer_ = layer; }
  // Each writer of a file by name calls these before and after its write.
  void PrepareWrite(const std::string& path) const {
    if (layer_) layer_->Preparing(path);
  }
  void NoteWritten(const std::string& path) const {
    if (layer_) layer_->Written(path);
  }

 private:
  // The folder of the drive the path starts with, which is taken off the
  // path with the separators after it; empty for a path without a drive.
  std::string_view DriveRoot(std::string_view& program_path) const;

  std::array<std::string, 26> drives_;
  NameLayer* layer_ = nullptr;
};

// The resolver that every file-opening command uses.
PathResolver& Paths();

// Lower-cases ASCII letters only, as the case-blind matching does.
std::string AsciiLower(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace zv::platform
