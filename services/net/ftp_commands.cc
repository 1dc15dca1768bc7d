// The FTP commands: each reads its operands, calls the connection and
// turns a failure into its warning; the functions read the connection's
// state.
#include <cctype>
#include <string>
#include <string_view>

#include "platform/signals/stop_signals.h"
#include "runtime/attached/attached_data.h"
#include "services/net/net_errors.h"
#include "services/net/net_handlers.h"
#include "services/net/net_services.h"

namespace zv {
namespace {

namespace op = ftp_opcode;
namespace warn = ftp_warning;

FtpConnection& Ftp(Vm& vm) { return FindNet(vm).Ftp(); }

// The failure's own reason as the end of a warning's sentence: "the
// download broke off after 5000 bytes", or the server's reply as it came.
std::string Cause(const std::string& reason) {
  std::string cause = reason;
  while (!cause.empty() && (cause.back() == '.' || cause.back() == ' ')) cause.pop_back();
  if (cause.size() > 1 && std::isupper(static_cast<unsigned char>(cause[0])) &&
      std::islower(static_cast<unsigned char>(cause[1])))
    cause[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(cause[0])));
  return cause;
}

// A call that a stop signal cut short is no failure to warn of: the run
// is ending. The warning says why the call failed, as `ftp error$()`
// would.
void Warn(Vm& vm, int32_t code, std::string_view name = {}) {
  if (platform::StopSignal() == 0) vm.RunWarning(code, name, Cause(Ftp(vm).LastCause()));
}

void CmdFtpConnect(Vm& vm) {
  const std::string server(vm.NextString());
  const std::string user(vm.NextString());
  const std::string password(vm.NextString());
  if (!Ftp(vm).Connect(server, user, password)) Warn(vm, warn::kConnect);
}

void CmdFtpSetDir(Vm& vm) {
  const std::string directory(vm.NextString());
  if (!Ftp(vm).SetDirectory(directory)) Warn(vm, warn::kSetDirectory);
}

void CmdFtpFindFirst(Vm& vm) { Ftp(vm).FindFirst(); }
void CmdFtpFindNext(Vm& vm) { Ftp(vm).FindNext(); }

void CmdFtpPutFile(Vm& vm) {
  const std::string name(vm.NextString());
  if (!Ftp(vm).PutFile(name, ReadPath(vm.attached_data, name))) Warn(vm, warn::kPutFile, name);
}

void CmdFtpDeleteFile(Vm& vm) {
  const std::string name(vm.NextString());
  // A failed delete keeps no reply.
  if (!Ftp(vm).DeleteFile(name) && platform::StopSignal() == 0) vm.RunWarning(warn::kDeleteFile, name);
}

void CmdFtpGetFile(Vm& vm) {
  const std::string remote(vm.NextString());
  const std::string local(vm.NextString());
  if (!Ftp(vm).GetFile(remote, local, 0)) Warn(vm, warn::kGetFile, remote);
}

void CmdFtpDisconnect(Vm& vm) { Ftp(vm).Disconnect(false); }

void CmdFtpGetFileStepwise(Vm& vm) {
  const std::string remote(vm.NextString());
  const std::string local(vm.NextString());
  const int32_t total = vm.NextInt();
  if (!Ftp(vm).GetFile(remote, local, total)) Warn(vm, warn::kGetFile, remote);
}

void CmdFtpProceed(Vm& vm) { Ftp(vm).Proceed(0); }
void CmdFtpTerminate(Vm& vm) { Ftp(vm).Terminate(); }

void CmdFtpDisconnectEx(Vm& vm) {
  const int32_t hang_up = vm.NextInt();
  Ftp(vm).Disconnect(hang_up == 1);
}

void FnFtpDirectory(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetString(result, Ftp(vm).Directory());
}

void FnFtpFileName(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetString(result, Ftp(vm).EntryName());
}

void FnFtpFileType(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Ftp(vm).EntryType());
}

void FnFtpProgress(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Ftp(vm).Progress());
}

void FnFtpFileSize(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Ftp(vm).EntrySize());
}

void FnFtpStatus(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Ftp(vm).Status());
}

void FnFtpError(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetString(result, Ftp(vm).ResponseText());
}

void FnFtpFailure(Vm& vm) {
  const Slot result = vm.NextSlot();
  vm.SetInt(result, Ftp(vm).TakeFailure());
}

}  // namespace

void RegisterFtpCommands(HandlerTable& t) {
  t.Set(op::kConnect, CmdFtpConnect);
  t.Set(op::kSetDir, CmdFtpSetDir);
  t.Set(op::kFindFirst, CmdFtpFindFirst);
  t.Set(op::kFindNext, CmdFtpFindNext);
  t.Set(op::kPutFile, CmdFtpPutFile);
  t.Set(op::kDeleteFile, CmdFtpDeleteFile);
  t.Set(op::kGetFile, CmdFtpGetFile);
  t.Set(op::kDisconnect, CmdFtpDisconnect);
  t.Set(op::kGetFileStepwise, CmdFtpGetFileStepwise);
  t.Set(op::kProceed, CmdFtpProceed);
  t.Set(op::kTerminate, CmdFtpTerminate);
  t.Set(op::kDisconnectEx, CmdFtpDisconnectEx);
  t.Set(op::kDirectory, FnFtpDirectory);
  t.Set(op::kFileName, FnFtpFileName);
  t.Set(op::kFileType, FnFtpFileType);
  t.Set(op::kProgress, FnFtpProgress);
  t.Set(op::kFileSize, FnFtpFileSize);
  t.Set(op::kStatus, FnFtpStatus);
  t.Set(op::kError, FnFtpError);
  t.Set(op::kFailure, FnFtpFailure);
}

}  // namespace zv
