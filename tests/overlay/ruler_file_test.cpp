// Ruler files: the bytes written, the line endings and damaged files read, and the per-pixel
// arithmetic shared with the ruler-setting dialog.

#include "overlay/ruler_file.h"

#include <gtest/gtest.h>

#include <QFile>
#include <string>

#include "test_support.h"

namespace {

RulerFileData Sample() {
    RulerFileData d;
    d.xPerPixel = QStringLiteral("0.27027027");
    d.yPerPixel = QStringLiteral("0.20000000");
    d.xReal = QStringLiteral("10");
    d.yReal = QStringLiteral("12.5");
    d.xLength = 37;
    d.yLength = 50;
    d.unit = 1;
    return d;
}

const char kSampleBytes[] =
    "0.27027027\r\r\n0.20000000\r\r\n10\r\r\n12.5\r\r\n"
    "100\r\r\n137\r\r\n37\r\r\n100\r\r\n150\r\r\n50\r\r\n1\r\r\n";

// What reading kSampleBytes gives: the pixel lines as written.
RulerFileData SampleRead() {
    RulerFileData d = Sample();
    d.xStart = 100;
    d.xEnd = 137;
    d.yStart = 100;
    d.yEnd = 150;
    return d;
}

QByteArray WithLineEnd(const QByteArray& crcrlf, const char* end) {
    QByteArray b = crcrlf;
    b.replace("\r\r\n", end);
    return b;
}

}  // namespace

TEST(RulerFile, WritesElevenLinesEndingInCrCrLfWithTheCornerAt100) {
    EXPECT_EQ(RulerFileBytes(Sample()), QByteArray(kSampleBytes));
    // Start and end given by the caller do not matter: the corner is always (100, 100).
    RulerFileData moved = Sample();
    moved.xStart = 400;
    moved.xEnd = 437;
    moved.yStart = 7;
    EXPECT_EQ(RulerFileBytes(moved), QByteArray(kSampleBytes));
}

TEST(RulerFile, ReadsEveryLineEnding) {
    const QByteArray written(kSampleBytes);
    struct Case {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"CR CR LF", written},
        {"CR LF", WithLineEnd(written, "\r\n")},
        {"LF", WithLineEnd(written, "\n")},
        {"LF, last line unended", WithLineEnd(written, "\n").chopped(1)},
        {"CR CR LF, last line unended", written.chopped(3)},
        {"mixed",
         QByteArray("0.27027027\n0.20000000\r\n10\r\r\n12.5\n100\r\n137\n37\r\r\n100\n150\n"
                    "50\r\n1")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseRulerFile(c.bytes), SampleRead());
    }
}

TEST(RulerFile, ShortAndGarbledFilesGiveEmptyTextsAndZeros) {
    struct Case {
        const char* name;
        QByteArray bytes;
        RulerFileData expected;
    };
    RulerFileData threeLines;
    threeLines.xPerPixel = QStringLiteral("a");
    threeLines.yPerPixel = QStringLiteral("b");
    threeLines.xReal = QStringLiteral("10");
    RulerFileData emptyTexts;
    emptyTexts.xReal = QStringLiteral("5");
    emptyTexts.xStart = 100;
    RulerFileData numbers;
    numbers.xStart = 42;        // "  42px": leading digits after blanks
    numbers.xEnd = -7;          // a sign
    numbers.xLength = 0;        // "abc"
    numbers.yStart = 0;         // "" (an empty line)
    numbers.yEnd = 1000000000;  // far too many digits: capped
    numbers.yLength = -1000000000;
    numbers.unit = 3;  // "3.9": the integer part
    const Case cases[] = {
        {"empty file", QByteArray(), RulerFileData{}},
        {"three lines", QByteArray("a\r\r\nb\r\r\n10\r\r\n"), threeLines},
        {"empty text lines kept in place", QByteArray("\r\r\n\n5\r\n\n100\n"), emptyTexts},
        {"numbers like atoi",
         QByteArray("\n\n\n\n  42px\n-7\nabc\n\n99999999999999999999\n"
                    "-99999999999999999999\n3.9\n"),
         numbers},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseRulerFile(c.bytes), c.expected);
    }
}

TEST(RulerFile, RoundTripThroughAFileIsByteExact) {
    TempDir dir;
    const QString path = QString::fromStdString(dir.file("objective 40x.nrr"));
    QString error;
    ASSERT_TRUE(WriteRulerFile(path, Sample(), &error)) << error.toStdString();
    const std::vector<uint8_t> bytes = ReadFileBytes(path.toStdString());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())),
              QByteArray(kSampleBytes));
    const std::optional<RulerFileData> back = ReadRulerFile(path, &error);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, SampleRead());

    // Saving again over it replaces it whole.
    RulerFileData other = Sample();
    other.xReal = QStringLiteral("1");
    ASSERT_TRUE(WriteRulerFile(path, other));
    EXPECT_EQ(ReadRulerFile(path)->xReal, QStringLiteral("1"));
}

TEST(RulerFile, FilesThatCannotBeOpenedAreReportedAndLeftAlone) {
    TempDir dir;
    QString error;
    EXPECT_FALSE(ReadRulerFile(QString::fromStdString(dir.file("missing.nrr")), &error));
    EXPECT_FALSE(error.isEmpty());

    error.clear();
    EXPECT_FALSE(
        WriteRulerFile(QString::fromStdString(dir.file("no/such/folder/a.nrr")), Sample(), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(RulerFile, UnitsPerPixelNeverDivideByZero) {
    struct Case {
        const char* physical;
        int pixels;
        const char* text;
    } cases[] = {
        {"10", 50, "0.20000000"},
        {"10", 37, "0.27027027"},
        {" 2.5mm", 10, "0.25000000"},  // leading number of the text
        {"abc", 50, "0.00000000"},     // not a number counts as 0
        {"", 50, "0.00000000"},
        {"10", 0, "0.00000000"},      // an arm without length (from a file)
        {"10", -20, "0.00000000"},    // an arm drawn backwards (from a file)
        {"1e999", 10, "0.00000000"},  // no infinity reaches the calibration
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.physical) + " / " + std::to_string(c.pixels));
        EXPECT_EQ(RulerPerPixelText(QString::fromLatin1(c.physical), c.pixels),
                  QString::fromLatin1(c.text));
    }
    EXPECT_EQ(RulerUnitsPerPixel(QStringLiteral("10"), 0), 0.0);
    EXPECT_DOUBLE_EQ(RulerUnitsPerPixel(QStringLiteral("10"), 50), 0.2);
}
