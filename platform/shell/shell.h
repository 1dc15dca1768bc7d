#pragma once

#include <string>
#include <vector>

namespace zv::platform {

// What a program asks to be started or opened.
struct ShellRequest {
  std::string file;       // a program, a document, a folder or an address ("http://...")
  std::string arguments;  // the program's command line after its name
  std::string directory;  // the program's working folder; empty: ours
};

// Starts programs and opens documents with the desktop's handler for them.
class Shell {
 public:
  virtual ~Shell() = default;
  // False when nothing could be started (no such program or document, or a
  // working folder that does not exist). Does not wait for the program.
  virtual bool Execute(const ShellRequest& request) = 0;
  // Collects the programs started here that have ended since the last call.
  virtual void ReapFinishedChildren() = 0;
};

// Starts nothing: remembers each request, for tests.
class RecordingShell final : public Shell {
 public:
  bool Execute(const ShellRequest& request) override {
    requests.push_back(request);
    return succeed;
  }
  void ReapFinishedChildren() override { ++reaps; }

  std::vector<ShellRequest> requests;
  bool succeed = true;
  int reaps = 0;
};

}  // namespace zv::platform
