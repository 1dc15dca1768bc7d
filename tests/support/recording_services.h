#pragma once

#include <string>
#include <vector>

#include "runtime/vm/services/editor_services.h"
#include "runtime/vm/services/engine3d_services.h"
#include "runtime/vm/services/input_services.h"
#include "runtime/vm/services/sound_services.h"

namespace zv::test {

// The calls made on the recording fakes, in order, as "Subsystem.Call".
using CallLog = std::vector<std::string>;

class RecordingEngine3D : public Engine3DServices {
 public:
  explicit RecordingEngine3D(CallLog& log) : log_(log) {}
  void RunPerTurn3DStep() override { log_.push_back("3D.RunPerTurn3DStep"); }
  void RenderSceneIfEnabled() override { log_.push_back("3D.RenderSceneIfEnabled"); }
  void AnimateObjects() override { log_.push_back("3D.AnimateObjects"); }
  void ClearViewportColour(uint32_t colour) override {
    log_.push_back("3D.ClearViewportColour " + std::to_string(colour));
  }
  void ReleaseAll() override { log_.push_back("3D.ReleaseAll"); }

 private:
  CallLog& log_;
};

class RecordingSound : public SoundServices {
 public:
  explicit RecordingSound(CallLog& log) : log_(log) {}
  bool InitMusicSystem() override {
    Record("InitMusicSystem");
    return true;
  }
  void StartSoundSystem() override { Record("StartSoundSystem"); }
  void ResetSound3DDefaults() override { Record("ResetSound3DDefaults"); }
  void PauseAllMusic() override { Record("PauseAllMusic"); }
  void PauseAllSounds() override { Record("PauseAllSounds"); }
  void ResumeAllMusic() override { Record("ResumeAllMusic"); }
  void ResumeAllSounds() override { Record("ResumeAllSounds"); }
  void DeleteAllMusic() override { Record("DeleteAllMusic"); }
  void FreeAllSounds() override { Record("FreeAllSounds"); }
  void ShutdownMusicSystem() override { Record("ShutdownMusicSystem"); }
  void StopSoundSystem() override { Record("StopSoundSystem"); }
  void UpdateSoundLibrary() override { Record("UpdateSoundLibrary"); }
  void UpdateSound3D() override { Record("UpdateSound3D"); }
  void UpdateMusic() override { Record("UpdateMusic"); }

 private:
  void Record(const char* call) { log_.push_back(std::string("Sound.") + call); }
  CallLog& log_;
};

class RecordingInput : public InputServices {
 public:
  explicit RecordingInput(CallLog& log) : log_(log) {}
  bool InitInput() override {
    Record("InitInput");
    return init_result;
  }
  void PollInputDevices() override { Record("PollInputDevices"); }
  void AcquireInputDevices() override { Record("AcquireInputDevices"); }
  void UnacquireInputDevices() override { Record("UnacquireInputDevices"); }
  void ReleaseForceEffects() override { Record("ReleaseForceEffects"); }
  void ShutdownInput() override { Record("ShutdownInput"); }
  void CloseFtpConnection() override { Record("CloseFtpConnection"); }
  void ReapFinishedChild() override { Record("ReapFinishedChild"); }
  void SetSystemKeysEnabled(bool enabled) override {
    Record(enabled ? "SetSystemKeysEnabled 1" : "SetSystemKeysEnabled 0");
  }
  void UnloadUserLibraries() override { Record("UnloadUserLibraries"); }
  void FreeMultiplayerResources() override { Record("FreeMultiplayerResources"); }
  void FreeMemoryBlocks() override { Record("FreeMemoryBlocks"); }
  void CloseNumberedFiles() override { Record("CloseNumberedFiles"); }
  bool FileExists(const std::string& name) override {
    Record("FileExists " + name);
    return false;
  }

  bool init_result = true;

 private:
  void Record(const std::string& call) { log_.push_back("Input." + call); }
  CallLog& log_;
};

class RecordingEditor : public EditorServices {
 public:
  explicit RecordingEditor(CallLog& log) : log_(log) {}
  void ShowProgressText(std::string_view text) override {
    log_.push_back("Editor.ShowProgressText " + std::string(text));
  }
  void DrawProgressBox(int percent) override {
    log_.push_back("Editor.DrawProgressBox " + std::to_string(percent));
  }

 private:
  CallLog& log_;
};

// All four fakes over one log, ready to plug into a Vm.
struct RecordingServices {
  CallLog log;
  RecordingEngine3D engine3d{log};
  RecordingSound sound{log};
  RecordingInput input{log};
  RecordingEditor editor{log};
};

}  // namespace zv::test
