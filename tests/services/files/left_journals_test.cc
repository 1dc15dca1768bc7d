// A save in place killed mid-rewrite leaves its journal; the next open of
// the file in this same process (no start-up sweep between) undoes it where
// every part of the file is still the old or the new content of that save,
// and otherwise leaves the file as it is and keeps the old content beside
// it as NAME.kept, never over a file already there. Each reader opens it:
// the loaders' FileForReading, the files service's read of a whole file and
// its numbered open.
#include <fcntl.h>
#include <unistd.h>

#include "platform/paths/file_read.h"
#include "platform/paths/save_journal.h"
#include "services/files/disk_files.h"
#include "tests/services/files/services_program.h"

namespace zv::test {
namespace {

constexpr size_t kOldSize = 6000, kNewSize = 9000;
const std::string kOld(kOldSize, 'o');
const std::string kNew(kNewSize, 'n');

class LeftJournals : public ServicesProgramTest {
 protected:
  void SetUp() override {
    ServicesProgramTest::SetUp();
    ::setenv("XDG_STATE_HOME", (Folder() / "state").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("XDG_STATE_HOME");
    ServicesProgramTest::TearDown();
  }
  std::string At(const std::string& name) const { return (Folder() / name).string(); }
  // f.dat with the old content, its save in place killed once the journal
  // was kept: `change` then writes what the save, or another program, had
  // written by the time of the next open.
  void LeaveJournal(const std::function<void(int)>& change) {
    WriteBytes("f.dat", kOld);
    WriteBytes("new.dat", kNew);
    const int file = ::open(At("f.dat").c_str(), O_RDWR), content = ::open(At("new.dat").c_str(), O_RDONLY);
    ASSERT_GE(file, 0);
    {
      std::optional<platform::SaveJournal> journal = platform::SaveJournal::Keep(file, At("f.dat"), content, kNewSize);
      ASSERT_TRUE(journal);
      change(file);
    }  // neither dropped nor put back: as a kill leaves it
    ::close(file), ::close(content);
  }
  bool JournalLeft() const { return !fs::is_empty(Folder() / "state/zentrovex/saves"); }
};

void Put(int fd, const std::string& bytes, size_t at) {
  ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)), static_cast<ssize_t>(bytes.size()));
}

TEST_F(LeftJournals, AKilledSaveIsUndoneByTheNextOpenOnlyWhereNothingElseWroteSince) {
  const std::string changed = kOld.substr(0, 100) + "changed" + kOld.substr(107) + kNew.substr(kOldSize);
  struct Row {
    const char* after_kill;
    std::function<void(int)> change;
    std::string file;  // what the file holds after the next open
    std::string kept;  // what f.dat.kept holds ("" none)
    bool players_kept = false;  // a file of the player's was at f.dat.kept already
  };
  const Row rows[] = {
      {"the part past the old end was in", [](int fd) { Put(fd, kNew.substr(kOldSize), kOldSize); }, kOld, ""},
      {"a page of the rest was in too",
       [](int fd) { Put(fd, kNew.substr(kOldSize), kOldSize), Put(fd, kNew.substr(0, 4096), 0); }, kOld, ""},
      {"all the new content was in", [](int fd) { Put(fd, kNew, 0); }, kNew, ""},
      {"another program then wrote in it",
       [](int fd) { Put(fd, kNew.substr(kOldSize), kOldSize), Put(fd, "changed", 100); }, changed, kOld},
      {"another program then cut it", [](int fd) { ASSERT_EQ(::ftruncate(fd, 5), 0); }, kOld.substr(0, 5), kOld},
      {"another program then wrote in it, and the player has a f.dat.kept",
       [](int fd) { Put(fd, kNew.substr(kOldSize), kOldSize), Put(fd, "changed", 100); }, changed, kOld, true},
  };
  const std::pair<const char*, std::function<void()>> readers[] = {
      {"FileForReading", [this] { EXPECT_TRUE(platform::FileForReading(At("f.dat")).Opened()); }},
      {"the files service's whole read", [this] { EXPECT_TRUE(files::ReadWholeFile(At("f.dat"))); }},
      {"open file to read", [this] {
         ASSERT_TRUE(Run("open file to read 1, \"f.dat\" : close file 1"));
         EXPECT_EQ(Code(), 0);
       }}};
  for (const auto& [reader, open] : readers) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(reader) + ", killed when " + row.after_kill);
      fs::remove(At("f.dat.kept")), fs::remove(At("f.dat.kept.1"));
      if (row.players_kept) WriteBytes("f.dat.kept", "the player's");
      LeaveJournal(row.change);
      ASSERT_TRUE(JournalLeft());
      open();
      EXPECT_TRUE(ReadBytes("f.dat") == row.file) << ReadBytes("f.dat").substr(0, 120);
      EXPECT_FALSE(JournalLeft());
      const std::string kept_name = row.players_kept ? "f.dat.kept.1" : "f.dat.kept";
      EXPECT_EQ(fs::exists(At(kept_name)), !row.kept.empty());
      if (!row.kept.empty()) {
        EXPECT_TRUE(ReadBytes(kept_name) == row.kept);
      }
      if (row.players_kept) {
        EXPECT_EQ(ReadBytes("f.dat.kept"), "the player's");
      }
    }
  }
}

}  // namespace
}  // namespace zv::test
