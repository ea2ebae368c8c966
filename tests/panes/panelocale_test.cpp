// The suite runs in the C locale and UTC (tests/fixtures/testenvironment.cpp); the list pane
// is meant for users in any locale, so one case runs it in another on purpose.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "panes/mylistview.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

class CDefaultLocale
{
public:
    explicit CDefaultLocale(const QLocale& locale) { QLocale::setDefault(locale); }
    ~CDefaultLocale() { QLocale::setDefault(QLocale::c()); }
    CDefaultLocale(const CDefaultLocale&) = delete;
    CDefaultLocale& operator=(const CDefaultLocale&) = delete;
};

} // namespace

TEST(PaneLocale, AGermanUserSeesUmlautsAmongTheirLettersAndCaseIgnored)
{
    const QString home = TestCaseFolder() + QStringLiteral("/home");
    for (const char* name : {"b.txt", "Zebra.txt", "\xc3\x84pfel.txt", "a.txt", "\xc3\xb6l.txt"})
        MakeLocalFile(home + QLatin1Char('/') + QString::fromUtf8(name), 1);
    CProgramRun run(home);
    CMyListView& list = *run.Frame().ListPane(0);
    ASSERT_EQ(QLocale().language(), QLocale::C);
    // In the C locale, letters outside ASCII come after all of ASCII.
    EXPECT_EQ(ShownNames(list),
              (QStringList{"a.txt", "b.txt", "Zebra.txt", QString::fromUtf8("\xc3\x84pfel.txt"),
                           QString::fromUtf8("\xc3\xb6l.txt")}));

    CDefaultLocale german(QLocale(QLocale::German, QLocale::Germany));
    list.FillList(list.path);
    EXPECT_EQ(ShownNames(list),
              (QStringList{"a.txt", QString::fromUtf8("\xc3\x84pfel.txt"), "b.txt",
                           QString::fromUtf8("\xc3\xb6l.txt"), "Zebra.txt"}));
}
