#include "tests/support/fakes/FakeFileSystem.h"

#include <algorithm>

#include "platform/StepFailure.h"

FakeFileSystem::FakeFileSystem() {
  nodes_.insert(QStringLiteral("/"), FileAttribute::kDirectory);
  roots_.insert(QStringLiteral("/"));
}

QString FakeFileSystem::Normal(const QString& path) {
  QString p = path;
  while (p.size() > 1 && p.endsWith(u'/')) p.chop(1);
  return p;
}

QString FakeFileSystem::Parent(const QString& path) {
  const qsizetype slash = path.lastIndexOf(u'/');
  return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

void FakeFileSystem::AddFolder(const QString& path, int attributes) {
  const QString p = Normal(path);
  if (p != u'/' && !nodes_.contains(Parent(p))) AddFolder(Parent(p));
  nodes_[p] = attributes | FileAttribute::kDirectory;
}

void FakeFileSystem::AddFile(const QString& path, int attributes) {
  const QString p = Normal(path);
  if (!nodes_.contains(Parent(p))) AddFolder(Parent(p));
  nodes_[p] = attributes & ~FileAttribute::kDirectory;
}

std::optional<int> FakeFileSystem::Attributes(const QString& path) const noexcept {
  const auto it = nodes_.constFind(Normal(path));
  if (it == nodes_.constEnd()) return std::nullopt;
  return it.value();
}

std::vector<DirectoryEntry> FakeFileSystem::List(const QString& folder) const {
  ++list_calls;
  const QString f = Normal(folder);
  const auto it = nodes_.constFind(f);
  if (it == nodes_.constEnd() || !(it.value() & FileAttribute::kDirectory))
    throw FolderNotListable("Path not found");
  if (unreadable_.contains(f)) throw FolderNotListable("Permission denied");
  std::vector<DirectoryEntry> entries;
  for (auto n = nodes_.constBegin(); n != nodes_.constEnd(); ++n) {
    if (n.key() == u'/' || Parent(n.key()) != f) continue;
    entries.push_back({n.key().mid(n.key().lastIndexOf(u'/') + 1), n.value()});
  }
  std::sort(entries.begin(), entries.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
    const int c = a.name.compare(b.name, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.name < b.name;
  });
  return entries;
}

bool FakeFileSystem::FileIsPresent(const QString& path) const noexcept {
  const std::optional<int> bits = Attributes(path);
  return bits && !(*bits & FileAttribute::kDirectory) && !unopenable_.contains(Normal(path));
}

bool FakeFileSystem::FileHasDate(const QString& path) const noexcept {
  return Attributes(path).has_value();
}

bool FakeFileSystem::IsRootFolder(const QString& path) const noexcept {
  return roots_.contains(Normal(path));
}
