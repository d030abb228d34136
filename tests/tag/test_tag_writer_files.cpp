// What a rewrite does to the file around the bytes: writers one after another, nothing left behind
// by one that dies, extended attributes carried over, kept bytes copied rather than rebuilt.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>

#include "tag/TagFileSystem.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/tag/test_tag_writer_support.h"

namespace {

using namespace WriterTest;
using Step = FaultyFileSystem::Step;

Bytes Small() { return Id3v2Tag(3, Frame(3, "TIT2", Body(0, "old"))) + Audio(); }

std::vector<std::string> Names(const Folder& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A child process that writes `path`'s title through `fs` and, where `fs` trips, runs the hook
// (which ends it one way or another).
pid_t WriteInChild(const std::string& path, std::shared_ptr<TagFileSystem> fs,
                   bool signal_handlers = false) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (signal_handlers) TagFileSystem::RemovePendingFilesOnSignals();
    clsID3 tag;
    tag.SetFileName(path);
    tag.SetFileSystem(std::move(fs));
    tag.SetTitle(u"from the child");
    tag.UpdateID3Tags();
    ::_exit(tag.LastWriteSucceeded() ? 0 : 1);
  }
  return child;
}

std::shared_ptr<FaultyFileSystem> DyingAtWrite(std::shared_ptr<TagFileSystem> inner,
                                               std::function<void()> hook) {
  auto faulty = std::make_shared<FaultyFileSystem>(std::move(inner), Step::kWrite);
  faulty->SetWriteBudget(100);
  faulty->SetHook(std::move(hook));
  return faulty;
}

int EndSignal(pid_t child) {
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  return WIFSIGNALED(status) ? WTERMSIG(status) : -WEXITSTATUS(status);
}

// Ends a child process that a failed assertion would leave waiting.
struct Reaper {
  pid_t pid;
  ~Reaper() {
    if (::waitpid(pid, nullptr, WNOHANG) == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// The second writer waits for the first and then reads the file the first one left, so both
// changes stay; the first one's rewrite works under the lock it holds itself.
TEST(TagWriterFiles, WritersTakeTurnsAndTheLaterReadsTheNewFile) {
  Folder folder;
  const std::string path = folder.Write("song.mp3", Small());
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  // Forked before the lock is taken: a child would inherit it.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    char byte = 0;
    if (::read(go[0], &byte, 1) != 1) ::_exit(3);
    WriteLock own;
    std::string why;
    if (!own.Acquire(path, why)) ::_exit(2);
    clsID3 tag;
    tag.SetFileName(path);
    tag.SetTitle(u"second");
    tag.UpdateID3Tags();
    ::_exit(tag.LastWriteSucceeded() ? 0 : 1);
  }
  Reaper reaper{child};
  auto lock = std::make_unique<WriteLock>();
  std::string error;
  ASSERT_TRUE(lock->Acquire(path, error)) << error;
  ASSERT_EQ(::write(go[1], "x", 1), 1);
  ::usleep(200 * 1000);
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, WNOHANG), 0) << "the second writer did not wait";

  auto tag = Open(path);
  tag->SetArtist(u"first");
  tag->UpdateID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded()) << tag->LastWriteError();
  lock.reset();
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  auto after = Open(path);
  EXPECT_EQ(after->Title(), u"second");
  EXPECT_EQ(after->Artist(), u"first");
  EXPECT_EQ(Names(folder), std::vector<std::string>{"song.mp3"});
  ::close(go[0]);
  ::close(go[1]);
}

// A writer killed half-way leaves nothing: its new file has no name yet.
TEST(TagWriterFiles, AKilledWriterLeavesNothingBehind) {
  for (const int signal : {SIGKILL, SIGTERM}) {
    SCOPED_TRACE(signal);
    Folder folder;
    const Bytes original = Small();
    const std::string path = folder.Write("song.mp3", original);
    const pid_t child = WriteInChild(
        path, DyingAtWrite(TagFileSystem::Posix(), [signal] { ::raise(signal); }), true);
    EXPECT_EQ(EndSignal(child), signal);
    EXPECT_TRUE(ReadAll(path) == original);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"song.mp3"});
  }
}

// Where new files must be named from the start: a termination signal removes the file, a
// killed writer's file is removed by the next write in the folder, and a live writer's file is
// left to it.
TEST(TagWriterFiles, NamedNewFilesAreRemovedUnlessInUse) {
  Folder folder;
  const Bytes original = Small();
  const std::string path = folder.Write("song.mp3", original);
  const std::string other = folder.Write("other.mp3", original);
  const auto named = TagFileSystem::PosixNamedOnly();

  pid_t child = WriteInChild(path, DyingAtWrite(named, [] { ::raise(SIGTERM); }), true);
  EXPECT_EQ(EndSignal(child), SIGTERM);
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"other.mp3", "song.mp3"}));

  child = WriteInChild(path, DyingAtWrite(named, [] { ::raise(SIGKILL); }));
  EXPECT_EQ(EndSignal(child), SIGKILL);
  const std::vector<std::string> dead = Names(folder);
  ASSERT_EQ(dead.size(), 3u) << "a killed writer leaves its named file";

  // The next writer there removes it, and holds its own file while it works.
  int paused[2];
  ASSERT_EQ(::pipe(paused), 0);
  const pid_t live = WriteInChild(path, DyingAtWrite(named, [&] {
                                    ::write(paused[1], "x", 1);
                                    ::pause();
                                  }));
  Reaper reaper{live};
  char byte = 0;
  ASSERT_EQ(::read(paused[0], &byte, 1), 1);
  const std::vector<std::string> working = Names(folder);
  ASSERT_EQ(working.size(), 3u);
  EXPECT_NE(working, dead);

  auto tag = Open(other);
  tag->SetFileSystem(named);
  tag->SetTitle(u"another file");
  tag->UpdateID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded()) << tag->LastWriteError();
  EXPECT_EQ(Names(folder), working) << "a live writer's file went";

  ::kill(live, SIGKILL);
  EXPECT_EQ(EndSignal(live), SIGKILL);
  tag->UpdateID3Tags();
  EXPECT_EQ(Names(folder), (std::vector<std::string>{"other.mp3", "song.mp3"}));
  EXPECT_TRUE(ReadAll(path) == original);
  ::close(paused[0]);
  ::close(paused[1]);
}

// A user attribute and an access ACL (user 1234 may read) stay through a rewrite and a removal.
TEST(TagWriterFiles, ExtendedAttributesAndAclsStay) {
  Folder folder;
  const std::string path = folder.Write("song.mp3", Small());
  const std::string rating = "5 stars";
  if (::setxattr(path.c_str(), "user.rating", rating.data(), rating.size(), 0) != 0)
    GTEST_SKIP() << "no user attributes here: " << std::strerror(errno);
  auto entry = [](uint16_t tag, uint16_t perm, uint32_t id) {
    return Bytes{static_cast<char>(tag & 0xFF),        static_cast<char>(tag >> 8),
                 static_cast<char>(perm & 0xFF),       static_cast<char>(perm >> 8),
                 static_cast<char>(id & 0xFF),         static_cast<char>((id >> 8) & 0xFF),
                 static_cast<char>((id >> 16) & 0xFF), static_cast<char>(id >> 24)};
  };
  const uint32_t none = 0xFFFFFFFF;
  const Bytes acl = Bytes("\x02\0\0\0", 4) + entry(0x01, 6, none) + entry(0x02, 4, 1234) +
                    entry(0x04, 4, none) + entry(0x10, 4, none) + entry(0x20, 4, none);
  const bool with_acl =
      ::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;

  auto attribute = [&](const char* name) {
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? std::string("(none)") : std::string(value, static_cast<size_t>(size));
  };
  auto tag = Open(path);
  tag->SetTitle(u"new");
  tag->UpdateID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded()) << tag->LastWriteError();
  EXPECT_EQ(attribute("user.rating"), rating);
  if (with_acl) {
    EXPECT_EQ(attribute("system.posix_acl_access"), acl);
  }
  tag->DeleteID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded()) << tag->LastWriteError();
  EXPECT_EQ(attribute("user.rating"), rating);
  if (with_acl) {
    EXPECT_EQ(attribute("system.posix_acl_access"), acl);
  }
}

// A picture and the other frames that stay as they are go from the old file to the new one
// without being rebuilt in memory: only the new frames, the padding and the blocks at the end are
// written from memory.
TEST(TagWriterFiles, KeptFramesAreCopiedNotRebuilt) {
  const Bytes data(3 << 20, 'p');
  const Bytes picture =
      Frame(3, "APIC", PictureBody(3, Encoding::Latin1, "image/png", 3, u"", data));
  const Bytes reshaped =
      Frame(3, "APIC", PictureBody(3, Encoding::Utf16, "image/png", 4, u"back", data));
  const Bytes priv = Frame(3, "PRIV", "owner\0" + data);
  const Bytes audio = Audio(2000);
  Folder folder;
  const std::string path = folder.Write(
      "song.mp3", Id3v2Tag(3, picture + reshaped + priv + Frame(3, "TIT2", Body(0, "t"))) + audio);
  auto counting = std::make_shared<FaultyFileSystem>(TagFileSystem::Posix(), Step::kNone);
  auto tag = Open(path);
  tag->SetFileSystem(counting);
  tag->SetTitle(u"u");
  tag->UpdateID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded()) << tag->LastWriteError();
  EXPECT_LT(counting->WrittenFromMemory(), 64 * 1024);
  const std::string after = ReadAll(path);
  EXPECT_EQ(TagData(after), picture + reshaped + priv + Frame(3, "TIT2", Body(0, "u")) +
                                Frame(3, "TCON", Body(0, "(255)")) + Bytes(2048, '\0'));
  EXPECT_NE(after.find(audio), std::string::npos);
}

}  // namespace
