// The one safe replacement of a file: what it keeps of the old file, and that any failing step
// leaves the target as it was with no new file beside it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tag/FileReplacement.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/tag/test_tag_writer_support.h"

namespace {

using namespace WriterTest;
using Step = FaultyFileSystem::Step;

TagFileSystem::FileInfo InfoOf(const std::string& path) {
  TagFileSystem::FileInfo info;
  std::string error;
  EXPECT_TRUE(TagFileSystem::Posix()->Stat(path, info, error)) << error;
  return info;
}

bool Replace(std::shared_ptr<TagFileSystem> files, const std::string& path, uint32_t mode,
             const FileReplacement::Keep& keep, std::string& error) {
  FileReplacement replacement(std::move(files), path);
  return replacement.Create(mode, error) && replacement.New().Write("new", error) &&
         replacement.Commit(keep, error);
}

}  // namespace

TEST(FileReplacement, KeepsWhatItIsToldOfTheOldFileAndNoMore) {
  for (const auto& files : {TagFileSystem::Posix(), TagFileSystem::PosixNamedOnly()}) {
    Folder folder;
    const std::string path = folder.Write("a.txt", "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const timespec times[2] = {{1000000000, 5}, {1100000000, 7}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const TagFileSystem::FileInfo old = InfoOf(path);

    // Only the mode it was made with: new times, the group and others' bits as given, bar
    // their write bits, which a file being built never has.
    std::string error;
    ASSERT_TRUE(Replace(files, path, 0666, {}, error)) << error;
    EXPECT_EQ(ReadAll(path), "new");
    TagFileSystem::FileInfo now = InfoOf(path);
    EXPECT_EQ(now.mode & 0777, 0644u);
    EXPECT_NE(now.modified.tv_sec, old.modified.tv_sec);

    FileReplacement::Keep keep;
    keep.owner_and_mode = &old;
    keep.times = true;
    ASSERT_TRUE(Replace(files, path, 0600, keep, error)) << error;
    now = InfoOf(path);
    EXPECT_EQ(now.mode & 07777, 0640u);
    EXPECT_EQ(now.modified.tv_sec, old.modified.tv_sec);
    EXPECT_EQ(now.modified.tv_nsec, old.modified.tv_nsec);
    EXPECT_EQ(now.accessed.tv_sec, old.accessed.tv_sec);
    EXPECT_EQ(folder.Entries(), 1u);
  }
}

TEST(FileReplacement, EveryFailingStepLeavesTheTargetAndNoNewFile) {
  const Step steps[] = {Step::kCreate, Step::kWrite, Step::kOwner, Step::kAttributes,
                        Step::kTimes,  Step::kFlush, Step::kClose, Step::kRename};
  for (const auto& inner : {TagFileSystem::Posix(), TagFileSystem::PosixNamedOnly()}) {
    for (const Step step : steps) {
      SCOPED_TRACE("failing at step " + std::to_string(static_cast<int>(step)));
      Folder folder;
      const std::string path = folder.Write("a.txt", "old");
      const TagFileSystem::FileInfo old = InfoOf(path);
      auto faulty = std::make_shared<FaultyFileSystem>(inner, step);
      std::string error;
      auto source = faulty->OpenSource(path, error);
      ASSERT_TRUE(source) << error;
      FileReplacement::Keep keep;
      keep.owner_and_mode = &old;
      keep.attributes = source.get();
      keep.times = true;
      EXPECT_FALSE(Replace(faulty, path, 0644, keep, error));
      EXPECT_GE(faulty->Hits(), 1) << "the step was never reached";
      EXPECT_FALSE(error.empty());
      EXPECT_EQ(ReadAll(path), "old");
      EXPECT_EQ(folder.Entries(), 1u) << "the new file stayed";
    }
  }
}

// The last word before the rename is the caller's: a file changed meanwhile by another program
// keeps that change. Abandoning leaves the system's error number for the caller's message.
TEST(FileReplacement, TheCallerMayRefuseAtTheLastStepAndAbandonKeepsErrno) {
  Folder folder;
  const std::string path = folder.Write("a.txt", "old");
  FileReplacement::Keep keep;
  keep.still_wanted = [](std::string& reason) {
    reason = "changed by another program";
    return false;
  };
  std::string error;
  EXPECT_FALSE(Replace(TagFileSystem::PosixNamedOnly(), path, 0644, keep, error));
  EXPECT_EQ(error, "changed by another program");
  EXPECT_EQ(ReadAll(path), "old");
  EXPECT_EQ(folder.Entries(), 1u);

  FileReplacement replacement(TagFileSystem::PosixNamedOnly(), path);
  ASSERT_TRUE(replacement.Create(0644, error)) << error;
  EXPECT_EQ(folder.Entries(), 2u);  // the named new file, beside the target
  errno = ENOSPC;
  replacement.Abandon();
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(folder.Entries(), 1u);
  EXPECT_FALSE(replacement.Open());
  EXPECT_FALSE(replacement.Commit({}, error));
  EXPECT_NE(error.find(path), std::string::npos);
  EXPECT_EQ(ReadAll(path), "old");
}
