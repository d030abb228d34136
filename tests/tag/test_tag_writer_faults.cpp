// A rewrite that fails at any step, or dies half-way, leaves the original file as it was.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/FaultyFileSystem.h"
#include "tests/tag/test_tag_writer_support.h"

namespace {

using namespace WriterTest;
using Step = FaultyFileSystem::Step;

struct Action {
  const char* name;
  void (*run)(clsID3&);
};

const Action kActions[] = {
    {"update",
     [](clsID3& t) {
       t.SetTitle(u"new title");
       t.UpdateID3Tags();
     }},
    {"delete", [](clsID3& t) { t.DeleteID3Tags(); }},
};

Bytes Original() {
  return Id3v2Tag(3, Frame(3, "TIT2", Body(0, "old")), {}) + Audio(200) + Lyrics3v1("words") +
         Id3v1(Id3v1Fields{"t", "a", "b", "1999", "c", 3, 17});
}

TEST(TagWriterFaults, EveryFailingStepLeavesTheOriginal) {
  const Step steps[] = {Step::kOpenSource, Step::kRead,  Step::kCreate,    Step::kWrite,
                        Step::kOwner,      Step::kFlush, Step::kTimes,     Step::kClose,
                        Step::kRename,     Step::kLock,  Step::kAttributes};
  const Bytes original = Original();
  for (const Action& action : kActions) {
    for (const Step step : steps) {
      SCOPED_TRACE(std::string(action.name) + " failing at step " +
                   std::to_string(static_cast<int>(step)));
      Folder folder;
      const std::string path = folder.Write("song.mp3", original);
      auto faulty = std::make_shared<FaultyFileSystem>(TagFileSystem::Posix(), step);
      faulty->SetWriteBudget(static_cast<int64_t>(original.size() / 2));  // half the file
      auto tag = Open(path);
      tag->SetFileSystem(faulty);
      action.run(*tag);
      EXPECT_GE(faulty->Hits(), 1) << "the step was never reached";
      EXPECT_FALSE(tag->LastWriteSucceeded());
      EXPECT_FALSE(tag->LastWriteError().empty());
      EXPECT_TRUE(ReadAll(path) == original);
      EXPECT_EQ(folder.Entries(), 1u) << "the half-built file stayed";
    }
  }
}

TEST(TagWriterFaults, TheSameLayerWithoutAFaultWrites) {
  Folder folder;
  const std::string path = folder.Write("song.mp3", Original());
  auto tag = Open(path);
  tag->SetFileSystem(std::make_shared<FaultyFileSystem>(TagFileSystem::Posix(), Step::kNone));
  tag->SetTitle(u"new title");
  tag->UpdateID3Tags();
  EXPECT_TRUE(tag->LastWriteSucceeded()) << tag->LastWriteError();
  EXPECT_TRUE(tag->LastWriteError().empty());
  EXPECT_EQ(Open(path)->Title(), u"new title");
  EXPECT_EQ(folder.Entries(), 1u);
}

// A process killed in the middle of the write: the original is whole, and what it leaves behind
// is hidden and no MP3 to a folder scan.
TEST(TagWriterFaults, AKilledWriterLeavesTheOriginal) {
  const Bytes original = Original();
  for (const Action& action : kActions) {
    SCOPED_TRACE(action.name);
    Folder folder;
    const std::string path = folder.Write("song.mp3", original);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto faulty = std::make_shared<FaultyFileSystem>(TagFileSystem::Posix(), Step::kWrite);
      faulty->SetWriteBudget(static_cast<int64_t>(original.size() / 3));
      faulty->SetHook([] { ::raise(SIGKILL); });
      clsID3 tag;
      tag.SetFileName(path);
      tag.SetFileSystem(faulty);
      action.run(tag);
      ::_exit(0);  // not reached when the hook fires
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_TRUE(ReadAll(path) == original);
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
      const std::string name = entry.path().filename().string();
      if (name == "song.mp3") continue;
      EXPECT_EQ(name.front(), '.') << name;
      EXPECT_NE(name.substr(name.size() - 4), ".mp3") << name;
    }
  }
}

}  // namespace
