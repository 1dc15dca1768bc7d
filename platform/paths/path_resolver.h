#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv::platform {

// Names that exist for a program although the disk does not hold them: the
// files and folders a built game carries. Every writer of a file by name
// goes through it (by the resolver below) before and as it writes, and
// every command that deletes or moves a file or folder away before it does,
// so that what a game writes wins over what it carries from that moment
// on, and no file of the player's is lost on the way. Each call that can
// refuse returns false with errno set, and the caller then gives its write
// up as failed, leaving everything as it was.
class NameLayer {
 public:
  virtual ~NameLayer() = default;
  // A file is about to be made or replaced at `path`, a path of this
  // machine: the folders it needs that exist only in the layer are made.
  virtual bool Preparing(const std::string& path) = 0;
  // The new file is complete and about to take the name `path`; it
  // `replaces` what may be there (else it takes the name only if free).
  virtual bool Publishing(const std::string& path, bool replaces) = 0;
  // It took the name, or (`published` false) it did not after all.
  virtual void Published(const std::string& path, bool published) = 0;
  // The file or folder `path` is about to be deleted or moved away.
  virtual bool Removing(const std::string& path) = 0;
  // The entry of `folder` (a path of this machine, "" or ending in "/") that
  // the layer holds under `older`, the bytes an older build gave for a
  // component the system spells `name`, when it holds none under `name`
  // and the disk neither: then that name, as files on disk are found; none
  // otherwise.
  virtual std::optional<std::string> OlderEntry(const std::string& /*folder*/, const std::string& /*name*/,
                                                const std::string& /*older*/) const {
    return std::nullopt;
  }
};

// Turns the file names that programs give (written for a system with drive
// letters, backslashes and case-blind names, in the program's character set)
// into paths of this machine: "\" becomes "/", "X:" maps through the drive
// table (every drive is the file system root unless mapped), the name goes
// out in UTF-8 (see SystemNameOf), and each component that does not exist as
// spelled is matched against its folder without regard to case. Every name
// a program gives crosses here, so this is where a name's marks are judged.
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
  // Both throw RefusedName (platform/text/system_text.h) for a name holding
  // a mark that stands for what no name may hold; nothing is looked for.
  // A mark that only reaches a name (MarkReach::kReaches) is taken in a
  // component that matches an entry, and refused in any other.

  // The layer over the disk's names while a built game runs (not owned);
  // null, the default, for none. A new layer starts in the process's own
  // working folder.
  void SetLayer(NameLayer* layer) {
    layer_ = layer;
    layer_folder_.clear();
  }
  // A working folder that only the layer holds (a folder a built game
  // carries where the game may not make it on disk), as an absolute path:
  // relative names start from it. Empty, the default: the process's own.
  void SetLayerFolder(std::string folder) { layer_folder_ = std::move(folder); }
  const std::string& LayerFolder() const { return layer_folder_; }
  // Each writer of a file by name calls these: PrepareWrite before it
  // starts, BeginPublish when its file is complete, EndPublish once the file
  // has its name or could not take it; PrepareRemove comes before a file or
  // folder is deleted or moved away. A false answer (errno set) stops the
  // write or the removal.
  bool PrepareWrite(const std::string& path) const { return !layer_ || layer_->Preparing(path); }
  bool BeginPublish(const std::string& path, bool replaces) const { return !layer_ || layer_->Publishing(path, replaces); }
  void EndPublish(const std::string& path, bool published) const {
    if (layer_) layer_->Published(path, published);
  }
  bool PrepareRemove(const std::string& path) const { return !layer_ || layer_->Removing(path); }

 private:
  // The folder of the drive the path starts with, which is taken off the
  // path with the separators after it; empty for a path without a drive.
  std::string_view DriveRoot(std::string_view& program_path) const;

  std::array<std::string, 26> drives_;
  NameLayer* layer_ = nullptr;
  std::string layer_folder_;
};

// The resolver that every file-opening command uses.
PathResolver& Paths();

// The entry of `folder` ("" for the working folder, else ending in "/")
// spelled `name`, else the one that matches it without regard to case (of
// several, the lowest in byte order), as each component of a program's
// names is found; nothing when none matches.
std::optional<std::string> FindEntryIgnoringCase(const std::string& folder, const std::string& name);
// Every entry of `folder` (as above) that matches `name` without regard to
// case, in byte order.
std::vector<std::string> EntriesIgnoringCase(const std::string& folder, const std::string& name);

// Lower-cases ASCII letters only, as the case-blind matching does.
std::string AsciiLower(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace zv::platform
