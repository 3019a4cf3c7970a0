// Processing sub-command: the live or still filter chain on a picture file.

#include "app/cli.h"
#include "document/processing.h"
#include "image/image_handle.h"
#include "image/obj_image.h"

namespace {

const char kSynopsis[] =
    "process IN OUT [--chain still|live] [--depth 24|32] [--flip-v] [--flip-h] [--gray] "
    "[--negative] [--binary T] [--emboss] [--sharpen] [--rgb R,G,B]";

bool ParseRgb(const std::string& text, int* r, int* g, int* b) {
    const size_t c1 = text.find(',');
    const size_t c2 = c1 == std::string::npos ? c1 : text.find(',', c1 + 1);
    if (c2 == std::string::npos) return false;
    return CliParseInt(text.substr(0, c1), 0, 63, r) &&
           CliParseInt(text.substr(c1 + 1, c2 - c1 - 1), 0, 63, g) &&
           CliParseInt(text.substr(c2 + 1), 0, 63, b);
}

// Any depth → B,G,R,A with opaque alpha, through the 24-bit form.
bool ToBgra32(FCObjImage& img) {
    if (img.ColorBits() == 32) return true;
    img.ToTrueColor24();
    if (img.ColorBits() != 24) return false;
    FCObjImage out;
    if (!out.AllocateForOverwrite(img.Width(), img.Height(), 32)) return false;
    for (int y = 0; y < img.Height(); ++y) {
        const uint8_t* s = img.GetRow(y);
        uint8_t* d = out.GetRow(y);
        for (int x = 0; x < img.Width(); ++x) {
            d[4 * x] = s[3 * x];
            d[4 * x + 1] = s[3 * x + 1];
            d[4 * x + 2] = s[3 * x + 2];
            d[4 * x + 3] = 255;
        }
    }
    img.Swap(out);
    return true;
}

}  // namespace

int CliProcess(const CliArgs& args) {
    std::vector<std::string> paths;
    ProcessFlags flags;
    flags.bProcessEnable = true;  // the command itself is the switch
    bool live = false;
    int depth = 24;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--chain") {
            if (!hasValue) return CliUsage(kSynopsis);
            const std::string& v = args[++i];
            if (v != "still" && v != "live") return CliFail("unknown chain " + CliQuoted(v));
            live = v == "live";
        } else if (a == "--depth") {
            if (!hasValue) return CliUsage(kSynopsis);
            const std::string& v = args[++i];
            if (v != "24" && v != "32") return CliFail("unsupported depth " + CliQuoted(v));
            depth = v == "32" ? 32 : 24;
        } else if (a == "--flip-v") {
            flags.bFlipVertical = true;
        } else if (a == "--flip-h") {
            flags.bFlipHorizontal = true;
        } else if (a == "--gray") {
            flags.bGray = true;
        } else if (a == "--negative") {
            flags.bNegative = true;
        } else if (a == "--emboss") {
            flags.bEmboss = true;
        } else if (a == "--sharpen") {
            flags.bSharpen = true;
        } else if (a == "--binary") {
            if (!hasValue) return CliUsage(kSynopsis);
            const std::string& v = args[++i];
            if (!CliParseInt(v, 0, 255, &flags.nBinaryThreshold))
                return CliFail("binary threshold " + CliQuoted(v) + " is not 0..255");
            flags.bBinary = true;
        } else if (a == "--rgb") {
            if (!hasValue) return CliUsage(kSynopsis);
            const std::string& v = args[++i];
            if (!ParseRgb(v, &flags.nGainRed, &flags.nGainGreen, &flags.nGainBlue))
                return CliFail("RGB offsets " + CliQuoted(v) + " are not R,G,B in 0..63");
            flags.bRgbGain = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return CliFail("unknown option " + CliQuoted(a));
        } else {
            paths.push_back(a);
        }
    }
    if (paths.size() != 2) return CliUsage(kSynopsis);
    const std::string& in = paths[0];
    const std::string& out = paths[1];
    if (!FCImageHandleFactory::CanRead(FCImageHandleFactory::QueryImageFileType(in)))
        return CliFail("no handler for the extension of " + CliQuoted(in));
    if (!FCImageHandleFactory::CanWrite(FCImageHandleFactory::QueryImageFileType(out)))
        return CliFail("no handler for the extension of " + CliQuoted(out));
    FCObjImage img;
    if (!img.LoadFromFile(in)) return CliFail("cannot read " + CliQuoted(in));
    if (depth == 24) {
        img.ToTrueColor24();
        if (img.ColorBits() != 24)
            return CliFail("cannot convert " + CliQuoted(in) + " to 24 bits");
    } else if (!ToBgra32(img)) {
        return CliFail("cannot convert " + CliQuoted(in) + " to 32 bits");
    }
    if (live)
        RunLiveChain(img, flags);
    else
        RunStillChain(img, flags);
    if (!img.SaveToFile(out)) return CliFail("cannot write " + CliQuoted(out));
    return 0;
}
