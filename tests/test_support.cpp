#include "test_support.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

void UseOwnHome(const std::string& dir) {
    const QByteArray h = QByteArray::fromStdString(dir);
    qputenv("HOME", h);
    qputenv("XDG_CONFIG_HOME", h + "/.config");
    qputenv("XDG_DATA_HOME", h + "/.local/share");
    qputenv("XDG_CACHE_HOME", h + "/.cache");
    const QString run = QString::fromStdString(dir) + QStringLiteral("/run");
    QDir().mkpath(run);
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", h + "/run");
    qputenv("NORVANESCOPE_SIM_CAMERAS", "none");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

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

std::map<std::string, std::string> ProbeVideo(const std::string& path) {
    const ProcessResult r =
        RunProcess("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                               "stream=codec_name,profile,width,height,nb_read_frames:format=duration", "-of",
                               "default=noprint_wrappers=1", path});
    std::map<std::string, std::string> facts;
    if (r.exitCode != 0 || r.out.empty()) {
        facts["error"] = r.err.empty() ? "ffprobe failed" : r.err;
        return facts;
    }
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (!r.err.empty()) facts["error"] = r.err;
    return facts;
}

std::vector<double> VideoPacketTimes(const std::string& path) {
    const ProcessResult r = RunProcess("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                                   "packet=pts_time", "-of", "csv=p=0", path});
    std::vector<double> times;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) times.push_back(std::stod(line));
    return times;
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
