#include "Platform/Qt/QtUserDefaults.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

// Flags start false and are written at once to the application's own file.
TEST(QtUserDefaultsTest, FlagsPersistInTheApplicationsOwnConfAndStartFalse) {
    QTemporaryDir dir;
    // Stands in for $XDG_CONFIG_HOME, which Qt reads once per process.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    {
        QtUserDefaults defaults;
        EXPECT_FALSE(defaults.boolForKey(u"anotherFlag"_s));
        defaults.setBool(u"anotherFlag"_s, true);
        defaults.setBool(u"hasCompletedOnboarding"_s, false);
    }
    QtUserDefaults later(dir.filePath(u"Aimset/Aimset.conf"_s));
    EXPECT_TRUE(later.boolForKey(u"anotherFlag"_s));
    EXPECT_FALSE(later.boolForKey(u"hasCompletedOnboarding"_s));
}

TEST(QtUserDefaultsTest, OnlyAClearYesInAHandEditedFileIsTrue) {
    QTemporaryDir dir;
    const QString file = dir.filePath(u"Aimset.conf"_s);
    QFile ini(file);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\na=true\nb=1\nc=maybe\nd=false\ne=\nf=TRUE\n");
    ini.close();
    QtUserDefaults defaults(file);
    EXPECT_TRUE(defaults.boolForKey(u"a"_s));
    EXPECT_TRUE(defaults.boolForKey(u"b"_s));
    EXPECT_FALSE(defaults.boolForKey(u"c"_s));
    EXPECT_FALSE(defaults.boolForKey(u"d"_s));
    EXPECT_FALSE(defaults.boolForKey(u"e"_s));
    EXPECT_TRUE(defaults.boolForKey(u"f"_s));
}

} // namespace
