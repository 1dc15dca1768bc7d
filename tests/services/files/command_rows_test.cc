// Every command of these families can be written in a program: each handled
// opcode has a row in the command table, or shares its handler with one.
#include <gtest/gtest.h>

#include <set>

#include "compiler/command_table.h"
#include "services/files/array_file_commands.h"
#include "services/files/checklist_commands.h"
#include "services/files/file_commands.h"
#include "services/files/numbered_file_commands.h"
#include "services/system/system_commands.h"
#include "services/system/user_library_commands.h"

namespace zv {
namespace {

TEST(FileAndSystemCommandRows, EveryHandledOpcodeHasARow) {
  HandlerTable handlers;
  RegisterFileHandlers(handlers);
  RegisterNumberedFileHandlers(handlers);
  RegisterArrayFileHandlers(handlers);
  RegisterChecklistHandlers(handlers);
  RegisterSystemHandlers(handlers);
  RegisterUserLibraryHandlers(handlers);

  const CommandTable& table = CommandTable::Builtin();
  std::set<Handler> with_row;
  for (const auto* rows : {&table.Commands(), &table.Functions()})
    for (const CommandEntry& row : *rows)
      if (Handler h = handlers.Get(static_cast<uint32_t>(row.code))) with_row.insert(h);
  int handled = 0;
  for (int code = 1; code < operand::kOpcodeLimit; ++code) {
    Handler h = handlers.Get(static_cast<uint32_t>(code));
    if (!h) continue;
    ++handled;
    EXPECT_TRUE(with_row.count(h)) << "opcode " << code << " has no row";
  }
  EXPECT_EQ(handled, 27 + 26 + 6 + 7 + 20 + 24);
}

}  // namespace
}  // namespace zv
