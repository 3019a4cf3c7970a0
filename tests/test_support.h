#pragma once
// Helpers shared by the tests: scratch folders and running other programs.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A fresh folder removed again at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Points HOME and the XDG folders at dir (a runtime folder only its owner may enter), so
// settings, Documents and the instance socket never touch the user's; no simulated cameras and
// the offscreen platform unless one is asked for. For test programs that make their own home.
void UseOwnHome(const std::string& dir);

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell) and collects its output.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args);

// A program of ours from the build's bin folder.
std::string BinPath(const std::string& name);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
// A progressive JPEG of the picture (Qt's writer, about ten scans).
std::vector<uint8_t> ProgressiveJpeg(const class QImage& picture);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// What ffprobe reads from a video file's first video stream: codec_name, profile, width, height,
// nb_read_frames (frames decoded, -count_frames) and duration (of the file). Empty when ffprobe
// cannot read the file; "error" holds its message then.
std::map<std::string, std::string> ProbeVideo(const std::string& path);
// Presentation times (seconds) of the first video stream's packets, in file order.
std::vector<double> VideoPacketTimes(const std::string& path);
