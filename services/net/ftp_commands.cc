// The FTP commands: each reads its operands, calls the connection and
// turns a failure into its warning; the functions read the connection's
// state.
#include <string>

#include "platform/signals/stop_signals.h"
#include "services/net/net_errors.h"
#include "services/net/net_handlers.h"
#include "services/net/net_services.h"

namespace zv {
namespace {

namespace op = ftp_opcode;
namespace warn = ftp_warning;

FtpConnection& Ftp(Vm& vm) { return FindNet(vm).Ftp(); }

// A call that a stop signal cut short is no failure to warn of: the run
// is ending.
template <class... Names>
void Warn(Vm& vm, int32_t code, const Names&... names) {
  if (platform::StopSignal() == 0) vm.RunWarning(code, names...);
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
  if (!Ftp(vm).PutFile(name)) Warn(vm, warn::kPutFile, name);
}

void CmdFtpDeleteFile(Vm& vm) {
  const std::string name(vm.NextString());
  if (!Ftp(vm).DeleteFile(name)) Warn(vm, warn::kDeleteFile, name);
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
