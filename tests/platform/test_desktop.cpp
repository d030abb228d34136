// What the desktop interface does on its own: a file shown in the file manager is asked for by
// its URI, and the folder is opened where the desktop cannot select it.
#include <gtest/gtest.h>

#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

#include "platform/Desktop.h"
#include "platform/StepFailure.h"

namespace {

class SelectingDesktop : public Desktop {
 public:
  void OpenWebAddress(const QString& address) override { addresses.append(address); }
  bool SelectInFileManager(const QString& uri, std::function<void()> refused) override {
    asked.append(uri);
    if (selects) waiting.push_back(std::move(refused));
    return selects;
  }
  void OpenFolder(const QString& path) override {
    if (refuse_folders) throw SetupFailure("No file manager for " + path.toStdString());
    folders.append(path);
  }

  bool selects = true;
  bool refuse_folders = false;
  std::vector<std::function<void()>> waiting;  // the file manager's answers to come
  QStringList asked;
  QStringList folders;
  QStringList addresses;
};

}  // namespace

TEST(DesktopTest, AFileIsShownSelectedByItsUriOrElseItsFolderIsOpened) {
  SelectingDesktop desktop;
  QStringList failures;
  const auto failed = [&](const StepFailure& e) { failures.append(QString::fromUtf8(e.what())); };
  const QString path = QString::fromUtf8("/music/A B/caf\xc3\xa9 #1.mp3");
  desktop.ShowInFolder(path, failed);
  // Spaces, accents and "#" escaped: the URI names the file and nothing else.
  EXPECT_EQ(desktop.asked, QStringList{"file:///music/A%20B/caf%C3%A9%20%231.mp3"});
  EXPECT_TRUE(desktop.folders.isEmpty());
  // The file manager refuses after the call returned: the folder is opened then.
  ASSERT_EQ(desktop.waiting.size(), 1u);
  desktop.waiting[0]();
  EXPECT_EQ(desktop.folders, QStringList{"/music/A B/"});
  // ... and where even that fails, it is said to whoever asked, not thrown into the event loop.
  desktop.refuse_folders = true;
  EXPECT_NO_THROW(desktop.waiting[0]());
  EXPECT_EQ(failures, QStringList{"No file manager for /music/A B/"});

  // No file manager to ask: the folder at once, its failure thrown to the caller.
  desktop.selects = false;
  EXPECT_THROW(desktop.ShowInFolder(path, failed), SetupFailure);
  desktop.refuse_folders = false;
  desktop.ShowInFolder(path, failed);
  EXPECT_EQ(desktop.asked.size(), 3);
  EXPECT_EQ(desktop.folders, (QStringList{"/music/A B/", "/music/A B/"}));
  EXPECT_EQ(failures.size(), 1);
  EXPECT_TRUE(desktop.addresses.isEmpty());
}
