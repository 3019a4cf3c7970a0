#pragma once
// SANE's "test" backend for the acquisition tests, never the machine's own configuration: a
// folder with a dll.conf that lists only "test" and a test.conf, named by SANE_CONFIG_DIR (no
// trailing colon, so /etc/sane.d is not read; the test mains set it). Also scanimage, run on
// the same folder, as the independent reader of what the backend sends.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

class SaneTestFolder {
public:
    using Conf = std::map<std::string, std::string>;

    // Writes dll.conf and test.conf into the folder SANE_CONFIG_DIR names, which must be this
    // test program's own: SANE reads the variable once per process and keeps the folder, but
    // it reads the files in it at every sane_init. test.conf keys given override the defaults
    // below; with withBackend false dll.conf lists nothing and SANE has no device at all.
    explicit SaneTestFolder(const Conf& overrides = {}, bool withBackend = true) {
        const char* dir = std::getenv("SANE_CONFIG_DIR");
        m_path = dir ? dir : "";
        Conf conf = {
            {"number_of_devices", "2"},
            {"mode", "Color"},
            {"depth", "8"},
            {"hand-scanner", "false"},
            {"three-pass", "false"},
            {"three-pass-order", "RGB"},
            {"resolution_min", "1.0"},
            {"resolution_max", "1200.0"},
            {"resolution_quant", "1.0"},
            {"resolution", "50.0"},
            {"test-picture", "\"Color pattern\""},
            {"invert-endianess", "false"},
            {"read-limit", "false"},
            {"read-limit-size", "1"},
            {"read-delay", "false"},
            {"read-delay-duration", "1000"},
            {"read-status-code", "\"Default\""},
            {"ppl-loss", "0"},
            {"fuzzy-parameters", "false"},
            {"non-blocking", "false"},
            {"select-fd", "false"},
            {"enable-test-options", "false"},
            {"geometry_min", "0.0"},
            {"geometry_max", "200.0"},
            {"geometry_quant", "1.0"},
            {"tl_x", "0.0"},
            {"tl_y", "0.0"},
            {"br_x", "80.0"},
            {"br_y", "100.0"},
        };
        for (const auto& [k, v] : overrides) conf[k] = v;
        std::ofstream(file("dll.conf")) << (withBackend ? "test\n" : "");
        std::ofstream out(file("test.conf"));
        for (const auto& [k, v] : conf) out << k << ' ' << v << '\n';
    }
    // SANE knows no device again.
    ~SaneTestFolder() { std::ofstream(file("dll.conf")) << ""; }
    SaneTestFolder(const SaneTestFolder&) = delete;
    SaneTestFolder& operator=(const SaneTestFolder&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A picture read from a PNM file (P4 line-art, P5 grey, P6 colour; 8 or 16 bits), as 8-bit
// red, green, blue: grey repeated, 16-bit samples rounded to 8 bits, line-art 1 → black.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;  // rows top first
    const uint8_t* At(int x, int y) const {
        return rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    }
};

inline bool ReadPnm(const std::string& path, RgbPicture& pic) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    size_t pos = 0;
    auto token = [&]() {
        std::string t;
        while (pos < bytes.size()) {
            const char c = static_cast<char>(bytes[pos]);
            if (c == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
                if (!t.empty()) break;
                ++pos;
            } else {
                t += c;
                ++pos;
            }
        }
        return t;
    };
    const std::string magic = token();
    if (magic != "P4" && magic != "P5" && magic != "P6") return false;
    pic.width = std::atoi(token().c_str());
    pic.height = std::atoi(token().c_str());
    const int maxval = magic == "P4" ? 1 : std::atoi(token().c_str());
    ++pos;  // the single blank after the header
    if (pic.width <= 0 || pic.height <= 0) return false;
    const int samples = magic == "P6" ? 3 : 1;
    const int bytesPerSample = maxval > 255 ? 2 : 1;
    const size_t rowBytes = magic == "P4"
                                ? (static_cast<size_t>(pic.width) + 7) / 8
                                : static_cast<size_t>(pic.width) * samples * bytesPerSample;
    if (bytes.size() < pos + rowBytes * pic.height) return false;
    pic.rgb.assign(static_cast<size_t>(pic.width) * pic.height * 3, 0);
    for (int y = 0; y < pic.height; ++y) {
        const uint8_t* row = bytes.data() + pos + rowBytes * y;
        for (int x = 0; x < pic.width; ++x) {
            uint8_t* d = pic.rgb.data() + (static_cast<size_t>(y) * pic.width + x) * 3;
            for (int c = 0; c < 3; ++c) {
                const int s = samples == 3 ? c : 0;
                int v;
                if (magic == "P4") {
                    v = (row[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
                } else if (bytesPerSample == 2) {
                    const int raw =
                        (row[(x * samples + s) * 2] << 8) | row[(x * samples + s) * 2 + 1];
                    v = (raw * 255 + 32767) / 65535;  // PNM 16-bit samples are big-endian
                } else {
                    v = row[x * samples + s];
                }
                d[c] = static_cast<uint8_t>(v);
            }
        }
    }
    return true;
}

// Runs scanimage on the test backend with the given options into a PNM file.
inline bool ScanImageToPnm(const std::vector<std::string>& options, const std::string& out,
                           std::string* err = nullptr) {
    std::vector<std::string> args = {"-d", "test:0", "--format=pnm", "-o", out};
    args.insert(args.end(), options.begin(), options.end());
    const ProcessResult r = RunProcess("scanimage", args);
    if (err) *err = r.err;
    return r.exitCode == 0;
}
