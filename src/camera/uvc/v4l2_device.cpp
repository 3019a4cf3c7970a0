#include "camera/uvc/v4l2_device.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

CV4l2Device::CV4l2Device(std::shared_ptr<IV4l2Sys> sys, int fd, std::string path)
    : m_sys(std::move(sys)), m_fd(fd), m_path(std::move(path)) {}

CV4l2Device::~CV4l2Device() {
    m_sys->Close(m_fd);
}

std::shared_ptr<CV4l2Device> CV4l2Device::Open(std::shared_ptr<IV4l2Sys> sys,
                                               const std::string& path, int* error) {
    if (!sys) {
        if (error) *error = EINVAL;
        return nullptr;
    }
    // Non-blocking: the capture thread waits in poll, never in an ioctl.
    const int fd = sys->Open(path.c_str(), O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        if (error) *error = errno;
        return nullptr;
    }
    return std::shared_ptr<CV4l2Device>(new CV4l2Device(std::move(sys), fd, path));
}

int CV4l2Device::Ioctl(unsigned long request, void* arg) const {
    return m_sys->Ioctl(m_fd, request, arg) == 0 ? 0 : (errno ? errno : EIO);
}

bool IsStreamingCaptureNode(const CV4l2Device& dev, std::string* card, std::string* port) {
    v4l2_capability cap{};
    if (dev.Ioctl(VIDIOC_QUERYCAP, &cap) != 0) return false;
    const uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING)) return false;
    if (card) {
        const char* c = reinterpret_cast<const char*>(cap.card);
        *card = std::string(c, strnlen(c, sizeof(cap.card)));
    }
    if (port) {
        const char* b = reinterpret_cast<const char*>(cap.bus_info);
        *port = std::string(b, strnlen(b, sizeof(cap.bus_info)));
    }
    return true;
}

bool IsDecodableFourcc(uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG ||
           fourcc == V4L2_PIX_FMT_YUYV;
}

std::u16string MediaTypeName(uint32_t fourcc) {
    if (fourcc == V4L2_PIX_FMT_YUYV) return u"YUY2";
    std::u16string name;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((fourcc >> (8 * i)) & 0xFF);
        if (c > ' ' && c < 0x7F) name.push_back(static_cast<char16_t>(c));
    }
    return name;
}

namespace {

// Sizes offered from a stepwise or continuous range: the usual camera sizes that fit it.
constexpr V4l2Size kCommonSizes[] = {
    {160, 120},   {176, 144},   {320, 240},   {352, 288},   {424, 240},   {640, 360},
    {640, 480},   {800, 448},   {800, 600},   {848, 480},   {960, 540},   {1024, 576},
    {1024, 768},  {1280, 720},  {1280, 960},  {1280, 1024}, {1600, 896},  {1600, 1200},
    {1920, 1080}, {2048, 1536}, {2560, 1440}, {2592, 1944}, {3264, 2448}, {3840, 2160},
};

bool FitsStep(uint32_t v, uint32_t lo, uint32_t hi, uint32_t step) {
    if (v < lo || v > hi) return false;
    return step <= 1 || (v - lo) % step == 0;
}

std::vector<V4l2Size> FrameSizes(const CV4l2Device& dev, uint32_t fourcc) {
    std::vector<V4l2Size> sizes;
    for (uint32_t i = 0; i < 256; ++i) {
        v4l2_frmsizeenum fs{};
        fs.index = i;
        fs.pixel_format = fourcc;
        if (dev.Ioctl(VIDIOC_ENUM_FRAMESIZES, &fs) != 0) break;
        if (fs.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.push_back({int(fs.discrete.width), int(fs.discrete.height)});
            continue;
        }
        const v4l2_frmsize_stepwise& s = fs.stepwise;
        const bool continuous = fs.type == V4L2_FRMSIZE_TYPE_CONTINUOUS;
        for (const V4l2Size& c : kCommonSizes) {
            if (FitsStep(c.width, s.min_width, s.max_width, continuous ? 1 : s.step_width) &&
                FitsStep(c.height, s.min_height, s.max_height, continuous ? 1 : s.step_height))
                sizes.push_back(c);
        }
        sizes.push_back({int(s.max_width), int(s.max_height)});
        break;
    }
    if (sizes.empty()) {
        // No size enumeration: keep what the driver accepts unchanged.
        for (const V4l2Size& c : kCommonSizes) {
            v4l2_format f{};
            f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            f.fmt.pix.width = c.width;
            f.fmt.pix.height = c.height;
            f.fmt.pix.pixelformat = fourcc;
            f.fmt.pix.field = V4L2_FIELD_ANY;
            if (dev.Ioctl(VIDIOC_TRY_FMT, &f) == 0 && f.fmt.pix.pixelformat == fourcc &&
                int(f.fmt.pix.width) == c.width && int(f.fmt.pix.height) == c.height)
                sizes.push_back(c);
        }
    }
    std::erase_if(sizes, [](const V4l2Size& s) {
        return s.width <= 0 || s.height <= 0 || s.width % 4 != 0 || s.width > 16384 ||
               s.height > 16384;
    });
    std::sort(sizes.begin(), sizes.end(), [](const V4l2Size& a, const V4l2Size& b) {
        const int64_t aa = int64_t(a.width) * a.height, bb = int64_t(b.width) * b.height;
        return aa != bb ? aa < bb : a.width < b.width;
    });
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

// The shortest frame interval the driver lists for this format and size, or 0/0.
v4l2_fract FastestInterval(const CV4l2Device& dev, uint32_t fourcc, V4l2Size size) {
    v4l2_fract best{0, 0};
    auto faster = [&](v4l2_fract f) {
        if (f.numerator == 0 || f.denominator == 0) return;
        if (best.denominator == 0 ||
            uint64_t(f.numerator) * best.denominator < uint64_t(best.numerator) * f.denominator)
            best = f;
    };
    for (uint32_t i = 0; i < 64; ++i) {
        v4l2_frmivalenum fi{};
        fi.index = i;
        fi.pixel_format = fourcc;
        fi.width = size.width;
        fi.height = size.height;
        if (dev.Ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &fi) != 0) break;
        if (fi.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
            faster(fi.discrete);
        } else {
            faster(fi.stepwise.min);
            break;
        }
    }
    return best;
}

}  // namespace

std::vector<V4l2MediaType> EnumerateMediaTypes(const CV4l2Device& dev) {
    std::vector<V4l2MediaType> types;
    for (uint32_t i = 0; i < 64; ++i) {
        v4l2_fmtdesc fd{};
        fd.index = i;
        fd.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (dev.Ioctl(VIDIOC_ENUM_FMT, &fd) != 0) break;
        if (!IsDecodableFourcc(fd.pixelformat)) continue;
        if (std::any_of(types.begin(), types.end(),
                        [&](const V4l2MediaType& t) { return t.fourcc == fd.pixelformat; }))
            continue;
        V4l2MediaType t;
        t.fourcc = fd.pixelformat;
        t.name = MediaTypeName(fd.pixelformat);
        t.sizes = FrameSizes(dev, fd.pixelformat);
        if (!t.sizes.empty()) types.push_back(std::move(t));
    }
    return types;
}

int ApplyStreamFormat(const CV4l2Device& dev, uint32_t fourcc, V4l2Size size,
                      V4l2StreamFormat* out) {
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = size.width;
    f.fmt.pix.height = size.height;
    f.fmt.pix.pixelformat = fourcc;
    f.fmt.pix.field = V4L2_FIELD_ANY;
    if (int e = dev.Ioctl(VIDIOC_S_FMT, &f)) return e;
    if (f.fmt.pix.pixelformat != fourcc || int(f.fmt.pix.width) != size.width ||
        int(f.fmt.pix.height) != size.height)
        return EINVAL;

    V4l2StreamFormat r;
    r.fourcc = fourcc;
    r.width = size.width;
    r.height = size.height;
    r.bytesPerLine = f.fmt.pix.bytesperline;
    if (fourcc == V4L2_PIX_FMT_YUYV && r.bytesPerLine < int64_t(size.width) * 2)
        r.bytesPerLine = int64_t(size.width) * 2;
    r.sizeImage = f.fmt.pix.sizeimage;

    // The frame rate is a wish: a driver without it still streams.
    v4l2_streamparm p{};
    p.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (dev.Ioctl(VIDIOC_G_PARM, &p) == 0 && (p.parm.capture.capability & V4L2_CAP_TIMEPERFRAME)) {
        const v4l2_fract want = FastestInterval(dev, fourcc, size);
        if (want.denominator != 0) {
            v4l2_streamparm s{};
            s.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            s.parm.capture.timeperframe = want;
            if (dev.Ioctl(VIDIOC_S_PARM, &s) == 0) p = s;
        }
        const v4l2_fract t = p.parm.capture.timeperframe;
        if (t.numerator && t.denominator) r.intervalSeconds = double(t.numerator) / t.denominator;
    }
    if (out) *out = r;
    return 0;
}
