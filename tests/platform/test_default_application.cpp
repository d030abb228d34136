#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "platform/DefaultApplication.h"

namespace {

/// A stand-in for xdg-mime: a script that notes each call in `calls` and prints `answer`.
class MimeQuery {
 public:
  explicit MimeQuery(const QByteArray& answer, const QByteArray& before = {}) {
    QFile script(Path());
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\necho \"$*\" >> '" + Calls().toUtf8() + "'\n" + before + "\n");
    if (!answer.isEmpty()) script.write("echo '" + answer + "'\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  QString Path() const { return dir.filePath(QStringLiteral("mime-query")); }
  QString Calls() const { return dir.filePath(QStringLiteral("calls")); }
  QByteArray CallsMade() const {
    QFile f(Calls());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

 private:
  QTemporaryDir dir;
};

TEST(DefaultApplicationTest, TheDesktopIsAskedOnceWithoutHoldingUpItsCaller) {
  MimeQuery query("libreoffice-calc.desktop", "sleep 1");
  QElapsedTimer clock;
  clock.start();
  DefaultApplication app(QStringLiteral("text/csv"), query.Path());
  EXPECT_LT(clock.elapsed(), 500);  // the answer takes a second; making the object does not
  EXPECT_TRUE(app.Found());
  EXPECT_GE(clock.elapsed(), 900);
  EXPECT_TRUE(app.Found());
  EXPECT_EQ(query.CallsMade(), QByteArray("query default text/csv\n"));
}

TEST(DefaultApplicationTest, NoNameNoProgramOrAFailingQueryMeanNone) {
  MimeQuery empty("");
  EXPECT_FALSE(DefaultApplication(QStringLiteral("inode/directory"), empty.Path()).Found());
  MimeQuery failing("app.desktop", "exit 3");
  EXPECT_FALSE(DefaultApplication(QStringLiteral("inode/directory"), failing.Path()).Found());
  EXPECT_FALSE(
      DefaultApplication(QStringLiteral("inode/directory"), QStringLiteral("/no/such/program"))
          .Found());
  // The object may go before anyone asked; it waits for its question to end.
  MimeQuery slow("app.desktop", "sleep 0.2");
  { DefaultApplication unasked(QStringLiteral("inode/directory"), slow.Path()); }
  EXPECT_EQ(slow.CallsMade(), QByteArray("query default inode/directory\n"));
}

}  // namespace
