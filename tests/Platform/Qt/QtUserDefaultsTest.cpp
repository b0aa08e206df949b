#include "Platform/Qt/QtUserDefaults.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

// Flags start false and are written at once to the application's own file;
// in a hand-edited file only a clear yes is true.
TEST(QtUserDefaultsTest, FlagsPersistInTheApplicationsOwnConfAndOnlyAClearYesIsTrue) {
    QTemporaryDir dir;
    // Stands in for $XDG_CONFIG_HOME, which Qt reads once per process.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString file = dir.filePath(u"Aimset/Aimset.conf"_s);
    {
        QtUserDefaults defaults;
        EXPECT_FALSE(defaults.boolForKey(u"anotherFlag"_s));
        defaults.setBool(u"anotherFlag"_s, true);
        defaults.setBool(u"hasCompletedOnboarding"_s, false);
    }
    QFile ini(file);
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("a=true\nb=1\nc=maybe\nd=false\ne=\nf=TRUE\n");
    ini.close();
    QtUserDefaults later;
    EXPECT_TRUE(later.boolForKey(u"anotherFlag"_s));
    EXPECT_FALSE(later.boolForKey(u"hasCompletedOnboarding"_s));
    QString yes;
    for (const QString& key : {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s}) {
        yes += later.boolForKey(key) ? key : QString();
    }
    EXPECT_EQ(yes.toStdString(), "abf");
}

} // namespace
