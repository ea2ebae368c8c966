// Every input the fuzz targets keep (the seed corpus and every crash ever found) runs again
// through the same functions, so that a reader mended once stays mended.
#include "tests/fuzz/fuzzcheck.h"
#include "tests/fuzz/fuzztargets.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

std::string currentInput;

void RecordFailure(const char* what)
{
    ADD_FAILURE() << what << "\n  input: " << currentInput;
}

QStringList InputsOf(const QString& folder)
{
    QStringList paths;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name))
        paths.append(dir.filePath(name));
    return paths;
}

} // namespace

class FuzzReplay : public testing::TestWithParam<FuzzTarget>
{};

TEST_P(FuzzReplay, EveryKeptInputRunsCleanThroughItsTarget)
{
    const FuzzTarget& target = GetParam();
    const QString top = QStringLiteral(VANTOR_FUZZ_INPUTS_DIR);
    const QString name = QString::fromUtf8(target.name);
    const QStringList seeds = InputsOf(top + QStringLiteral("/corpus/") + name);
    // Without seeds a fuzz run starts from nothing, and this test would show nothing.
    EXPECT_GE(seeds.size(), 5) << "too few seeds for " << target.name;

    const struct Restore
    {
        FuzzFailureHandler previous;
        ~Restore() { SetFuzzFailureHandler(previous); }
    } restore{SetFuzzFailureHandler(RecordFailure)};
    for (const QString& path : seeds + InputsOf(top + QStringLiteral("/regressions/") + name)) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray bytes = file.readAll();
        currentInput = path.toStdString();
        target.run(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, testing::ValuesIn(kFuzzTargets),
                         [](const testing::TestParamInfo<FuzzTarget>& param) {
                             return std::string(param.param.name);
                         });
