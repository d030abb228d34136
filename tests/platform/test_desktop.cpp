// What the desktop interface does on its own: a file shown in the file manager is asked for by
// its URI, and the folder is opened where the desktop cannot select it.
#include <gtest/gtest.h>

#include <QStringList>

#include "platform/Desktop.h"

namespace {

class SelectingDesktop : public Desktop {
 public:
  void OpenFolder(const QString& path) override { folders.append(path); }
  void OpenWebAddress(const QString& address) override { addresses.append(address); }
  bool SelectInFileManager(const QString& uri) override {
    asked.append(uri);
    return selects;
  }

  bool selects = true;
  QStringList asked;
  QStringList folders;
  QStringList addresses;
};

}  // namespace

TEST(DesktopTest, AFileIsShownSelectedByItsUriOrElseItsFolderIsOpened) {
  SelectingDesktop desktop;
  const QString path = QString::fromUtf8("/music/A B/caf\xc3\xa9 #1.mp3");
  desktop.ShowInFolder(path);
  // Spaces, accents and "#" escaped: the URI names the file and nothing else.
  EXPECT_EQ(desktop.asked, QStringList{"file:///music/A%20B/caf%C3%A9%20%231.mp3"});
  EXPECT_TRUE(desktop.folders.isEmpty());

  desktop.selects = false;
  desktop.ShowInFolder(path);
  EXPECT_EQ(desktop.asked.size(), 2);
  EXPECT_EQ(desktop.folders, QStringList{"/music/A B/"});
  EXPECT_TRUE(desktop.addresses.isEmpty());
}
