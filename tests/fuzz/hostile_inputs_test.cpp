// Every seed and every input that ever made a reader fail, replayed through its harness under
// AddressSanitizer and UndefinedBehaviorSanitizer: a mended reader stays mended.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <cstring>
#include <memory>

#include "fuzz_target.h"

namespace ns_fuzz {
void Fail(const char* what, const char* file, int line) {
    ADD_FAILURE_AT(file, line) << "broken promise: " << what;
}
}  // namespace ns_fuzz

namespace {

const QString kFuzzDir = QStringLiteral(NS_FUZZ_DIR);

// The harnesses by their files, <name>_fuzz.cpp.
std::vector<std::string> HarnessNames() {
    std::vector<std::string> names;
    for (const QString& f : QDir(kFuzzDir).entryList({QStringLiteral("*_fuzz.cpp")}, QDir::Files))
        names.push_back(f.chopped(int(sizeof("_fuzz.cpp") - 1)).toStdString());
    return names;
}

QStringList FilesIn(const QString& folder) {
    QStringList out;
    for (const QString& f : QDir(folder).entryList(QDir::Files, QDir::Name))
        out << QDir(folder).filePath(f);
    return out;
}

class HostileInputs : public ::testing::TestWithParam<std::string> {};

TEST_P(HostileInputs, EverySeedAndKeptInputIsHandled) {
    const std::string& name = GetParam();
    const ns_fuzz::Target target = ns_fuzz::FindTarget(name);
    ASSERT_NE(target, nullptr) << name << "_fuzz.cpp has no NS_FUZZ_TARGET(" << name << ")";
    const QString qname = QString::fromStdString(name);
    const QStringList seeds = FilesIn(kFuzzDir + QStringLiteral("/corpus/") + qname);
    EXPECT_FALSE(seeds.isEmpty()) << "no seeds in corpus/" << name;
    const QStringList kept = FilesIn(kFuzzDir + QStringLiteral("/regressions/") + qname);
    for (const QString& path : seeds + kept) {
        SCOPED_TRACE(path.toStdString());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        // An exact-size copy, so a read one byte past the end is caught.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[size_t(bytes.size())]);
        std::memcpy(exact.get(), bytes.constData(), size_t(bytes.size()));
        target(exact.get(), size_t(bytes.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, HostileInputs, ::testing::ValuesIn(HarnessNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
