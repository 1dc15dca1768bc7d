#pragma once

#include <string>

namespace zv {

// What the runtime core asks of the input, file, memory and network services.
// Those subsystems implement it; NullInput stands in where none is linked.
class InputServices {
 public:
  virtual ~InputServices() = default;

  // Opens the keyboard, mouse and joysticks; false ends the start with 10007.
  virtual bool InitInput() { return true; }
  virtual void PollInputDevices() {}
  virtual void AcquireInputDevices() {}
  virtual void UnacquireInputDevices() {}
  virtual void ReleaseForceEffects() {}
  virtual void ShutdownInput() {}
  virtual void CloseFtpConnection() {}
  // Moves the multiplayer session's network traffic along; the message pump
  // calls it once per turn.
  virtual void ServiceNetwork() {}
  // Closes the handle of a started child process once it has ended.
  virtual void ReapFinishedChild() {}
  // Allows or blocks the system key combinations.
  virtual void SetSystemKeysEnabled(bool enabled) { (void)enabled; }
  // Unloads every user library the program loaded.
  virtual void UnloadUserLibraries() {}
  // Releases at shutdown: sessions, memory blocks, open files.
  virtual void FreeMultiplayerResources() {}
  virtual void FreeMemoryBlocks() {}
  virtual void CloseNumberedFiles() {}
  // A slice of the program has run; the message pump calls it once per turn.
  virtual void FrameWorkDone() {}
  // 1 when the file (after the virtual-file lookup) opens for reading.
  virtual bool FileExists(const std::string& name) { (void)name; return false; }
};

class NullInput final : public InputServices {};

}  // namespace zv
