#include "test_support.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <iterator>

TempDir::TempDir() {
    QTemporaryDir dir(QDir::tempPath() + "/ns-test-XXXXXX");
    dir.setAutoRemove(false);
    m_path = dir.path().toStdString();
}

TempDir::~TempDir() {
    QDir(QString::fromStdString(m_path)).removeRecursively();
}

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args) {
    QProcess p;
    QStringList list;
    for (const auto& a : args) list << QString::fromStdString(a);
    p.start(QString::fromStdString(program), list);
    ProcessResult r;
    if (!p.waitForStarted(10000)) return r;
    p.closeWriteChannel();
    p.waitForFinished(120000);
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

std::string BinPath(const std::string& name) {
    const char* dir = std::getenv("NS_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + name;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ProgressiveJpeg(const QImage& picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    if (!writer.write(picture)) return {};
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}
