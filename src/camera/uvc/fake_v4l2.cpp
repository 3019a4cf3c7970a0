#include "camera/uvc/fake_v4l2.h"

#include <fcntl.h>
#include <jpeglib.h>
#include <linux/videodev2.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kNever = std::numeric_limits<double>::infinity();
// The mmap offset of buffer i: a cookie, page-aligned as drivers make them.
constexpr off_t kOffsetStep = 1 << 20;
constexpr int kMaxBuffers = 16;
constexpr int kFirstFd = 1 << 20;
// The lamp the emulated cameras look through (kelvin): automatic white balance neutralises it.
constexpr double kLampKelvin = 4000;

// Buffer memory; outlives the queue while it is mapped, as driver memory does.
struct Block {
    explicit Block(size_t len, int dev) : length(len), device(dev) {
        void* p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        mem = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
    }
    ~Block() {
        if (mem) munmap(mem, length);
    }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    uint8_t* mem = nullptr;
    size_t length = 0;
    int device = 0;
};

enum class SlotState { Dequeued, Queued, Done };

struct Slot {
    std::shared_ptr<Block> block;
    SlotState state = SlotState::Dequeued;
    uint32_t bytesused = 0;
    uint32_t sequence = 0;
    uint32_t flags = 0;
    timeval stamp{};
};

struct Control {
    uint32_t id;
    uint32_t type;
    const char* name;
    int32_t min, max, step, def;
    uint64_t menuMask;  // valid menu items
    int32_t value;
};

std::vector<Control> DefaultControls() {
    const uint64_t exposureModes =
        (1u << V4L2_EXPOSURE_MANUAL) | (1u << V4L2_EXPOSURE_APERTURE_PRIORITY);
    std::vector<Control> c = {
        {V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", -64, 64, 1, 0, 0, 0},
        {V4L2_CID_CONTRAST, V4L2_CTRL_TYPE_INTEGER, "Contrast", 0, 100, 1, 50, 0, 0},
        {V4L2_CID_SATURATION, V4L2_CTRL_TYPE_INTEGER, "Saturation", 0, 100, 1, 50, 0, 0},
        {V4L2_CID_HUE, V4L2_CTRL_TYPE_INTEGER, "Hue", -180, 180, 1, 0, 0, 0},
        {V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CTRL_TYPE_BOOLEAN, "White Balance, Automatic", 0, 1, 1,
         1, 0, 0},
        {V4L2_CID_GAMMA, V4L2_CTRL_TYPE_INTEGER, "Gamma", 72, 500, 1, 100, 0, 0},
        {V4L2_CID_GAIN, V4L2_CTRL_TYPE_INTEGER, "Gain", 0, 100, 1, 0, 0, 0},
        {V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU, "Power Line Frequency", 0, 2, 1, 1,
         0x7, 0},
        {V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CTRL_TYPE_INTEGER, "White Balance Temperature",
         2800, 6500, 10, 4600, 0, 0},
        {V4L2_CID_SHARPNESS, V4L2_CTRL_TYPE_INTEGER, "Sharpness", 0, 7, 1, 2, 0, 0},
        {V4L2_CID_EXPOSURE_AUTO, V4L2_CTRL_TYPE_MENU, "Auto Exposure", 0, 3, 1,
         V4L2_EXPOSURE_APERTURE_PRIORITY, exposureModes, 0},
        {V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Exposure Time, Absolute", 3, 2047, 1,
         100, 0, 0},
        {V4L2_CID_HFLIP, V4L2_CTRL_TYPE_BOOLEAN, "Horizontal Flip", 0, 1, 1, 0, 0, 0},
        {V4L2_CID_VFLIP, V4L2_CTRL_TYPE_BOOLEAN, "Vertical Flip", 0, 1, 1, 0, 0, 0},
    };
    for (Control& k : c) k.value = k.def;
    return c;
}

const char* MenuName(uint32_t id, uint32_t index) {
    if (id == V4L2_CID_EXPOSURE_AUTO) {
        static const char* names[] = {"Auto Mode", "Manual Mode", "Shutter Priority Mode",
                                      "Aperture Priority Mode"};
        return index < 4 ? names[index] : nullptr;
    }
    if (id == V4L2_CID_POWER_LINE_FREQUENCY) {
        static const char* names[] = {"Disabled", "50 Hz", "60 Hz"};
        return index < 3 ? names[index] : nullptr;
    }
    return nullptr;
}

// ---- Motion-JPEG encoding -------------------------------------------------------------------

struct JpegFail {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

[[noreturn]] void OnJpegFail(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JpegFail*>(cinfo->err)->jump, 1);
}

struct VectorDest {
    jpeg_destination_mgr pub;
    std::vector<uint8_t>* out;
};

void DestInit(j_compress_ptr c) {
    auto* d = reinterpret_cast<VectorDest*>(c->dest);
    d->out->resize(std::max<size_t>(d->out->capacity(), 64 * 1024));
    d->pub.next_output_byte = d->out->data();
    d->pub.free_in_buffer = d->out->size();
}

boolean DestGrow(j_compress_ptr c) {
    auto* d = reinterpret_cast<VectorDest*>(c->dest);
    const size_t old = d->out->size();
    d->out->resize(old * 2);
    d->pub.next_output_byte = d->out->data() + old;
    d->pub.free_in_buffer = d->out->size() - old;
    return TRUE;
}

void DestTerm(j_compress_ptr c) {
    auto* d = reinterpret_cast<VectorDest*>(c->dest);
    d->out->resize(d->out->size() - d->pub.free_in_buffer);
}

class JpegWriter {
public:
    JpegWriter() {
        m_c.err = jpeg_std_error(&m_err.pub);
        m_err.pub.error_exit = OnJpegFail;
        jpeg_create_compress(&m_c);
        m_dest.pub.init_destination = DestInit;
        m_dest.pub.empty_output_buffer = DestGrow;
        m_dest.pub.term_destination = DestTerm;
        m_dest.out = &m_out;
    }
    ~JpegWriter() { jpeg_destroy_compress(&m_c); }
    JpegWriter(const JpegWriter&) = delete;
    JpegWriter& operator=(const JpegWriter&) = delete;

    // A 24-bit picture as 4:2:2 baseline JPEG, the layout UVC cameras send.
    const std::vector<uint8_t>* Encode(const FCObjImage& img, int quality) {
        if (setjmp(m_err.jump)) {
            jpeg_abort_compress(&m_c);
            return nullptr;
        }
        m_c.dest = &m_dest.pub;
        m_c.image_width = img.Width();
        m_c.image_height = img.Height();
        m_c.input_components = 3;
        m_c.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&m_c);
        jpeg_set_quality(&m_c, quality, TRUE);
        m_c.comp_info[0].h_samp_factor = 2;
        m_c.comp_info[0].v_samp_factor = 1;
        jpeg_start_compress(&m_c, TRUE);
        while (m_c.next_scanline < m_c.image_height) {
            JSAMPROW row = const_cast<uint8_t*>(img.GetRow(static_cast<int>(m_c.next_scanline)));
            jpeg_write_scanlines(&m_c, &row, 1);
        }
        jpeg_finish_compress(&m_c);
        return &m_out;
    }

private:
    jpeg_compress_struct m_c{};
    JpegFail m_err{};
    VectorDest m_dest{};
    std::vector<uint8_t> m_out;
};

// Drops the DHT segments: decoders then use the standard tables the encoder used.
size_t StripHuffmanTables(const uint8_t* in, size_t size, uint8_t* out) {
    if (size < 4) {
        std::memcpy(out, in, size);
        return size;
    }
    size_t o = 0, i = 2;
    out[o++] = in[0];
    out[o++] = in[1];
    while (i + 4 <= size && in[i] == 0xFF && in[i + 1] != 0xDA) {
        const size_t seg = 2 + ((size_t(in[i + 2]) << 8) | in[i + 3]);
        if (i + seg > size) break;
        if (in[i + 1] != 0xC4) {
            std::memcpy(out + o, in + i, seg);
            o += seg;
        }
        i += seg;
    }
    std::memcpy(out + o, in + i, size - i);
    return o + size - i;
}

// BT.601 video range, chroma averaged over each pixel pair.
void BgrToYuyv(const FCObjImage& img, uint8_t* dst, size_t stride) {
    for (int y = 0; y < img.Height(); ++y) {
        const uint8_t* s = img.GetRow(y);
        uint8_t* d = dst + size_t(y) * stride;
        for (int x = 0; x + 1 < img.Width(); x += 2, s += 6, d += 4) {
            const int b0 = s[0], g0 = s[1], r0 = s[2], b1 = s[3], g1 = s[4], r1 = s[5];
            const int b = (b0 + b1 + 1) / 2, g = (g0 + g1 + 1) / 2, r = (r0 + r1 + 1) / 2;
            d[0] = uint8_t(((66 * r0 + 129 * g0 + 25 * b0 + 128) >> 8) + 16);
            d[1] = uint8_t(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
            d[2] = uint8_t(((66 * r1 + 129 * g1 + 25 * b1 + 128) >> 8) + 16);
            d[3] = uint8_t(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
        }
    }
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

struct CFakeV4l2::Impl {
    struct Device {
        FakeDeviceConfig cfg;
        int captureNode = 0;  // /dev/video<n>
        int metaNode = -1;
        bool removed = false;
        FakeFaults faults;

        uint32_t fourcc = 0;
        int width = 0, height = 0;
        v4l2_fract interval{1, 30};
        std::vector<Control> controls;

        int ownerFd = -1;
        std::vector<Slot> slots;
        std::deque<int> queued, done;
        bool streaming = false;
        double nextDue = kNever;
        uint32_t sequence = 0;
        int64_t produced = 0;

        std::unique_ptr<CSimSensor> sensor;
        FCObjImage picture;
        std::unique_ptr<JpegWriter> jpeg;
        std::vector<uint8_t> last;
        uint32_t lastFourcc = 0;
        int lastWidth = 0, lastHeight = 0;
    };
    struct File {
        int device;
        bool meta;
        bool nonblocking;
    };
    struct Mapping {
        std::shared_ptr<Block> block;
        int count = 0;
    };

    mutable std::mutex mu;
    std::condition_variable cv;
    Clock::time_point epoch = Clock::now();
    std::vector<Device> devices;
    std::map<int, File> files;
    std::map<const void*, Mapping> mappings;
    int nextFd = kFirstFd;

    double Now() const { return Seconds(Clock::now() - epoch); }

    const FakeFormat* FindFormat(const Device& d, uint32_t fourcc) const {
        for (const FakeFormat& f : d.cfg.formats)
            if (f.fourcc == fourcc) return &f;
        return nullptr;
    }

    Control* FindControl(Device& d, uint32_t id) {
        for (Control& c : d.controls)
            if (c.id == id) return &c;
        return nullptr;
    }
    int32_t ControlValue(Device& d, uint32_t id) {
        const Control* c = FindControl(d, id);
        return c ? c->value : 0;
    }

    // The size the driver makes of a request: the nearest listed one, or the range's grid.
    void Adjust(const Device& d, v4l2_pix_format* p) const {
        const FakeFormat* f = FindFormat(d, p->pixelformat);
        if (!f) f = &d.cfg.formats.front();
        p->pixelformat = f->fourcc;
        if (f->stepwise.maxWidth > 0) {
            const auto& s = f->stepwise;
            auto fit = [](int v, int lo, int hi, int step) {
                v = std::clamp(v, lo, hi);
                return step > 1 ? lo + (v - lo) / step * step : v;
            };
            p->width = fit(int(p->width), s.minWidth, s.maxWidth, s.stepWidth);
            p->height = fit(int(p->height), s.minHeight, s.maxHeight, s.stepHeight);
        } else {
            const FakeFrameSize* best = &f->sizes.front();
            int64_t bestDist = std::numeric_limits<int64_t>::max();
            for (const FakeFrameSize& s : f->sizes) {
                const int64_t dist =
                    std::abs(int64_t(s.width) - p->width) + std::abs(int64_t(s.height) - p->height);
                if (dist < bestDist) bestDist = dist, best = &s;
            }
            p->width = best->width;
            p->height = best->height;
        }
        p->field = V4L2_FIELD_NONE;
        const bool yuyv = p->pixelformat == V4L2_PIX_FMT_YUYV;
        p->bytesperline = yuyv ? p->width * 2 : 0;
        p->sizeimage = std::max<uint32_t>(p->width * p->height * 2, 64 * 1024);
        p->colorspace = V4L2_COLORSPACE_SRGB;
    }

    // Frame rates offered for the current format and size.
    std::vector<double> RatesFor(const Device& d, uint32_t fourcc, int w, int h) const {
        const FakeFormat* f = FindFormat(d, fourcc);
        if (!f) return {};
        if (f->stepwise.maxWidth > 0) return {f->stepwise.maxFps};
        for (const FakeFrameSize& s : f->sizes)
            if (s.width == w && s.height == h) return s.fps;
        return {};
    }

    static v4l2_fract IntervalOf(double fps) {
        return {static_cast<uint32_t>(std::lround(1e7 / fps)), 10000000u};
    }

    double IntervalSeconds(Device& d) {
        double t = double(d.interval.numerator) / d.interval.denominator;
        if (ControlValue(d, V4L2_CID_EXPOSURE_AUTO) == V4L2_EXPOSURE_MANUAL)
            t = std::max(t, ControlValue(d, V4L2_CID_EXPOSURE_ABSOLUTE) * 100e-6);
        return t;
    }

    void SetFastestInterval(Device& d) {
        const auto rates = RatesFor(d, d.fourcc, d.width, d.height);
        if (!rates.empty()) d.interval = IntervalOf(*std::max_element(rates.begin(), rates.end()));
    }

    // The sensor follows the format and the controls.
    void UpdateSensor(Device& d) {
        SimSensorSettings s = d.sensor->Settings();
        s.sensorWidth = d.cfg.sensorWidth;
        s.sensorHeight = d.cfg.sensorHeight;
        s.width = d.width;
        s.height = d.height;
        // The largest centred field of the frame's aspect, binned down to the frame.
        int rw = s.sensorWidth, rh = s.sensorHeight;
        if (int64_t(d.width) * rh > int64_t(d.height) * rw)
            rh = std::max(2, int(int64_t(rw) * d.height / d.width));
        else
            rw = std::max(2, int(int64_t(rh) * d.width / d.height));
        s.roi = {(s.sensorWidth - rw) / 2, (s.sensorHeight - rh) / 2, 0, 0};
        s.roi.right = s.roi.left + rw;
        s.roi.bottom = s.roi.top + rh;
        s.noise = !d.cfg.stillScene;
        s.brightness = ControlValue(d, V4L2_CID_BRIGHTNESS) / 128.0;
        s.contrast = ControlValue(d, V4L2_CID_CONTRAST) / 50.0;
        s.saturation = ControlValue(d, V4L2_CID_SATURATION) / 50.0;
        s.hueDegrees = ControlValue(d, V4L2_CID_HUE);
        s.gamma = ControlValue(d, V4L2_CID_GAMMA) / 100.0;
        s.sharpness = ControlValue(d, V4L2_CID_SHARPNESS) * 0.25;
        s.analogGain = 1.0 + ControlValue(d, V4L2_CID_GAIN) * 0.15;
        s.lampKelvin = kLampKelvin;
        const double kelvin = ControlValue(d, V4L2_CID_AUTO_WHITE_BALANCE)
                                  ? kLampKelvin
                                  : ControlValue(d, V4L2_CID_WHITE_BALANCE_TEMPERATURE);
        const auto lamp = CSimSensor::LampColour(kelvin);  // B, G, R
        s.wbBlue = std::clamp(lamp[1] / lamp[0], 0.0, 16.0);
        s.wbGreen = 1.0;
        s.wbRed = std::clamp(lamp[1] / lamp[2], 0.0, 16.0);
        if (ControlValue(d, V4L2_CID_EXPOSURE_AUTO) == V4L2_EXPOSURE_MANUAL)
            s.exposureUs = ControlValue(d, V4L2_CID_EXPOSURE_ABSOLUTE) * 100.0;
        else
            s.exposureUs = 10000.0 / s.analogGain;
        s.hFlip = ControlValue(d, V4L2_CID_HFLIP) != 0;
        s.vFlip = ControlValue(d, V4L2_CID_VFLIP) != 0;
        d.sensor->SetSettings(s);
    }

    void Render(Device& d, Slot& slot, double t) {
        slot.flags = 0;
        slot.bytesused = 0;
        if (!d.sensor->Render(t, &d.picture, 24)) {
            slot.flags = V4L2_BUF_FLAG_ERROR;
            return;
        }
        Block& b = *slot.block;
        if (d.fourcc == V4L2_PIX_FMT_YUYV) {
            const size_t need = size_t(d.width) * d.height * 2;
            if (need > b.length) {
                slot.flags = V4L2_BUF_FLAG_ERROR;
                return;
            }
            BgrToYuyv(d.picture, b.mem, size_t(d.width) * 2);
            slot.bytesused = uint32_t(need);
        } else if (d.fourcc == V4L2_PIX_FMT_MJPEG || d.fourcc == V4L2_PIX_FMT_JPEG) {
            const std::vector<uint8_t>* j = d.jpeg->Encode(d.picture, d.cfg.jpegQuality);
            if (!j || j->size() > b.length) {
                slot.flags = V4L2_BUF_FLAG_ERROR;
                return;
            }
            if (d.cfg.mjpegWithoutHuffmanTables) {
                slot.bytesused = uint32_t(StripHuffmanTables(j->data(), j->size(), b.mem));
            } else {
                std::memcpy(b.mem, j->data(), j->size());
                slot.bytesused = uint32_t(j->size());
            }
        } else {
            // A format the emulation does not draw: an empty frame of the right length.
            slot.bytesused = uint32_t(std::min<size_t>(b.length, size_t(d.width) * d.height));
            std::memset(b.mem, 0, slot.bytesused);
        }
        d.last.assign(b.mem, b.mem + slot.bytesused);
        d.lastFourcc = d.fourcc;
        d.lastWidth = d.width;
        d.lastHeight = d.height;
    }

    void Remove(Device& d) {
        d.removed = true;
        d.streaming = false;
        d.nextDue = kNever;
        d.queued.clear();
        d.done.clear();
        cv.notify_all();
    }

    // Produces the frames that have come due by now, into queued buffers.
    void Advance(Device& d, double now) {
        while (d.streaming && !d.removed && d.nextDue <= now) {
            if (d.faults.removeAfterFrames >= 0 && d.produced >= d.faults.removeAfterFrames) {
                Remove(d);
                return;
            }
            if (d.faults.stallAfterFrames >= 0 && d.produced >= d.faults.stallAfterFrames) {
                d.nextDue = kNever;
                return;
            }
            const double interval = IntervalSeconds(d);
            // Behind by several frames (a slow reader): the missed ones are lost, as on a
            // real device; only the newest is drawn.
            const double behind = now - d.nextDue;
            if (behind > interval) {
                const double missed = std::floor(behind / interval);
                d.sequence += uint32_t(missed);
                d.nextDue += missed * interval;
            }
            const double t = d.nextDue;
            d.nextDue += interval;
            if (d.queued.empty()) {
                ++d.sequence;
                continue;
            }
            const int i = d.queued.front();
            d.queued.pop_front();
            Slot& slot = d.slots[i];
            Render(d, slot, t);
            slot.sequence = d.sequence++;
            slot.stamp.tv_sec = time_t(t);
            slot.stamp.tv_usec = suseconds_t((t - std::floor(t)) * 1e6);
            slot.state = SlotState::Done;
            d.done.push_back(i);
            ++d.produced;
        }
    }

    // The earliest time a frame could come due on a stream that has a buffer to fill.
    double NextWake(const Device& d) const {
        if (!d.streaming || d.removed || d.queued.empty()) return kNever;
        return d.nextDue;
    }

    bool Faulted(Device& d, unsigned long request, int* error) {
        for (FakeIoctlFault& f : d.faults.ioctls) {
            if (f.request != request || f.count == 0 || d.produced < f.afterFrames) continue;
            if (f.count > 0) --f.count;
            *error = f.error;
            return true;
        }
        return false;
    }

    void StreamOff(Device& d) {
        d.streaming = false;
        d.nextDue = kNever;
        d.queued.clear();
        d.done.clear();
        for (Slot& s : d.slots) s.state = SlotState::Dequeued;
        cv.notify_all();
    }

    bool AnyMapped(const Device& d) const {
        for (const Slot& s : d.slots)
            if (s.block && mappings.count(s.block->mem)) return true;
        return false;
    }

    void FreeBuffers(Device& d) {
        StreamOff(d);
        d.slots.clear();
        d.ownerFd = -1;
    }

    int CaptureIoctl(int fd, const File& file, Device& d, unsigned long request, void* arg,
                     std::unique_lock<std::mutex>& lock);
};

namespace {

void FillCap(v4l2_capability* cap, const std::string& card, int number, bool meta) {
    *cap = {};
    std::snprintf(reinterpret_cast<char*>(cap->driver), sizeof cap->driver, "uvcvideo");
    std::snprintf(reinterpret_cast<char*>(cap->card), sizeof cap->card, "%s", card.c_str());
    std::snprintf(reinterpret_cast<char*>(cap->bus_info), sizeof cap->bus_info,
                  "usb-0000:00:14.0-%d", number + 1);
    cap->version = (6u << 16) | (1u << 8);
    cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING |
                        V4L2_CAP_EXT_PIX_FORMAT | V4L2_CAP_DEVICE_CAPS;
    cap->device_caps =
        meta ? (V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT)
             : (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT);
}

}  // namespace

CFakeV4l2::CFakeV4l2(std::vector<FakeDeviceConfig> devices) : m(std::make_unique<Impl>()) {
    int node = 0;
    m->devices.resize(devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        Impl::Device& d = m->devices[i];
        d.cfg = std::move(devices[i]);
        if (d.cfg.formats.empty()) d.cfg.formats = DefaultFormats();
        d.faults = d.cfg.faults;
        d.captureNode = node++;
        if (d.cfg.metadataNode) d.metaNode = node++;
        d.controls = DefaultControls();
        std::erase_if(d.controls, [&](const Control& c) {
            return std::find(d.cfg.missingControls.begin(), d.cfg.missingControls.end(), c.id) !=
                   d.cfg.missingControls.end();
        });
        auto specimen = std::make_shared<CVirtualSpecimen>(d.cfg.seed, 160);
        d.sensor = std::make_unique<CSimSensor>(std::move(specimen));
        if (d.cfg.stillScene) d.sensor->Stage().SetDrift(0, 0, 1);
        d.jpeg = std::make_unique<JpegWriter>();
        v4l2_pix_format p{};
        p.pixelformat = d.cfg.formats.front().fourcc;
        p.width = 640;
        p.height = 480;
        m->Adjust(d, &p);
        d.fourcc = p.pixelformat;
        d.width = int(p.width);
        d.height = int(p.height);
        m->SetFastestInterval(d);
        m->UpdateSensor(d);
    }
}

CFakeV4l2::~CFakeV4l2() = default;

std::vector<FakeFormat> CFakeV4l2::DefaultFormats() {
    FakeFormat mjpg{V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {}, {}};
    for (auto [w, h] : {std::pair{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}})
        mjpg.sizes.push_back({w, h, {30, 15}});
    FakeFormat yuyv{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {}, {}};
    yuyv.sizes = {{320, 240, {30, 15}}, {640, 480, {30, 15}}, {1280, 720, {10, 5}}};
    return {mjpg, yuyv};
}

std::shared_ptr<CFakeV4l2> CFakeV4l2::Emulated(int count) {
    std::vector<FakeDeviceConfig> cfgs;
    for (int i = 1; i <= std::clamp(count, 1, 4); ++i) {
        FakeDeviceConfig c;
        c.card = "Emulated UVC Camera " + std::to_string(i);
        c.seed = 1234 + uint64_t(i);
        cfgs.push_back(std::move(c));
    }
    return std::make_shared<CFakeV4l2>(std::move(cfgs));
}

std::vector<std::string> CFakeV4l2::ListDevices() {
    std::lock_guard<std::mutex> lock(m->mu);
    std::vector<std::pair<int, std::string>> nodes;
    for (const Impl::Device& d : m->devices) {
        if (d.removed) continue;
        nodes.emplace_back(d.captureNode, "/dev/video" + std::to_string(d.captureNode));
        if (d.metaNode >= 0)
            nodes.emplace_back(d.metaNode, "/dev/video" + std::to_string(d.metaNode));
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<std::string> out;
    for (auto& n : nodes) out.push_back(std::move(n.second));
    return out;
}

std::string CFakeV4l2::CapturePath(int device) const {
    std::lock_guard<std::mutex> lock(m->mu);
    if (device < 0 || device >= int(m->devices.size())) return {};
    return "/dev/video" + std::to_string(m->devices[device].captureNode);
}

int CFakeV4l2::Open(const char* path, int flags) {
    std::lock_guard<std::mutex> lock(m->mu);
    const std::string p = path ? path : "";
    for (size_t i = 0; i < m->devices.size(); ++i) {
        const Impl::Device& d = m->devices[i];
        if (d.removed) continue;
        const bool capture = p == "/dev/video" + std::to_string(d.captureNode);
        const bool meta = d.metaNode >= 0 && p == "/dev/video" + std::to_string(d.metaNode);
        if (!capture && !meta) continue;
        if (d.faults.openError) {
            errno = d.faults.openError;
            return -1;
        }
        const int fd = m->nextFd++;
        m->files[fd] = {int(i), meta, (flags & O_NONBLOCK) != 0};
        return fd;
    }
    errno = ENOENT;
    return -1;
}

int CFakeV4l2::Close(int fd) {
    std::lock_guard<std::mutex> lock(m->mu);
    auto it = m->files.find(fd);
    if (it == m->files.end()) {
        errno = EBADF;
        return -1;
    }
    Impl::Device& d = m->devices[it->second.device];
    // The owner's buffers go with its file; mapped memory stays until it is unmapped.
    if (d.ownerFd == fd) m->FreeBuffers(d);
    m->files.erase(it);
    m->cv.notify_all();
    return 0;
}

int CFakeV4l2::Ioctl(int fd, unsigned long request, void* arg) {
    std::unique_lock<std::mutex> lock(m->mu);
    auto it = m->files.find(fd);
    if (it == m->files.end()) {
        errno = EBADF;
        return -1;
    }
    const Impl::File file = it->second;
    Impl::Device& d = m->devices[file.device];
    int error = 0;
    if (!arg) {
        error = EFAULT;
    } else if (d.removed) {
        error = ENODEV;
    } else if (m->Faulted(d, request, &error)) {
    } else if (request == VIDIOC_QUERYCAP) {
        FillCap(static_cast<v4l2_capability*>(arg), d.cfg.card, file.device, file.meta);
    } else if (file.meta) {
        error = ENOTTY;
    } else {
        error = m->CaptureIoctl(fd, file, d, request, arg, lock);
    }
    if (error) {
        errno = error;
        return -1;
    }
    return 0;
}

int CFakeV4l2::Impl::CaptureIoctl(int fd, const File& file, Device& d, unsigned long request,
                                  void* arg, std::unique_lock<std::mutex>& lock) {
    const auto isCapture = [](uint32_t type) { return type == V4L2_BUF_TYPE_VIDEO_CAPTURE; };
    switch (request) {
        case VIDIOC_ENUM_FMT: {
            auto* f = static_cast<v4l2_fmtdesc*>(arg);
            if (!isCapture(f->type) || f->index >= d.cfg.formats.size()) return EINVAL;
            const FakeFormat& ff = d.cfg.formats[f->index];
            const uint32_t index = f->index, type = f->type;
            *f = {};
            f->index = index;
            f->type = type;
            f->pixelformat = ff.fourcc;
            f->flags = ff.fourcc == V4L2_PIX_FMT_YUYV ? 0 : V4L2_FMT_FLAG_COMPRESSED;
            std::snprintf(reinterpret_cast<char*>(f->description), sizeof f->description, "%s",
                          ff.description.c_str());
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto* s = static_cast<v4l2_frmsizeenum*>(arg);
            const FakeFormat* f = FindFormat(d, s->pixel_format);
            if (!f) return EINVAL;
            if (f->stepwise.maxWidth > 0) {
                if (s->index != 0) return EINVAL;
                s->type = V4L2_FRMSIZE_TYPE_STEPWISE;
                s->stepwise = {uint32_t(f->stepwise.minWidth),  uint32_t(f->stepwise.maxWidth),
                               uint32_t(f->stepwise.stepWidth), uint32_t(f->stepwise.minHeight),
                               uint32_t(f->stepwise.maxHeight), uint32_t(f->stepwise.stepHeight)};
                return 0;
            }
            if (s->index >= f->sizes.size()) return EINVAL;
            s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            s->discrete = {uint32_t(f->sizes[s->index].width), uint32_t(f->sizes[s->index].height)};
            return 0;
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto* iv = static_cast<v4l2_frmivalenum*>(arg);
            const FakeFormat* f = FindFormat(d, iv->pixel_format);
            if (!f) return EINVAL;
            if (f->stepwise.maxWidth > 0) {
                v4l2_pix_format p{};
                p.pixelformat = f->fourcc;
                p.width = iv->width;
                p.height = iv->height;
                Adjust(d, &p);
                if (iv->index != 0 || p.width != iv->width || p.height != iv->height) return EINVAL;
                iv->type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
                iv->stepwise.min = IntervalOf(f->stepwise.maxFps);
                iv->stepwise.max = {1, 1};
                iv->stepwise.step = {1, 1};
                return 0;
            }
            const auto rates = RatesFor(d, f->fourcc, int(iv->width), int(iv->height));
            if (iv->index >= rates.size()) return EINVAL;
            iv->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            iv->discrete = IntervalOf(rates[iv->index]);
            return 0;
        }
        case VIDIOC_G_FMT:
        case VIDIOC_TRY_FMT:
        case VIDIOC_S_FMT: {
            auto* f = static_cast<v4l2_format*>(arg);
            if (!isCapture(f->type)) return EINVAL;
            v4l2_pix_format& p = f->fmt.pix;
            if (request == VIDIOC_G_FMT) {
                p = {};
                p.pixelformat = d.fourcc;
                p.width = d.width;
                p.height = d.height;
            }
            Adjust(d, &p);
            if (request != VIDIOC_S_FMT) return 0;
            // Buffers are sized for the current format.
            if (d.ownerFd >= 0 || d.streaming) return EBUSY;
            const bool changed =
                p.pixelformat != d.fourcc || int(p.width) != d.width || int(p.height) != d.height;
            d.fourcc = p.pixelformat;
            d.width = int(p.width);
            d.height = int(p.height);
            if (changed) SetFastestInterval(d);
            UpdateSensor(d);
            return 0;
        }
        case VIDIOC_G_PARM:
        case VIDIOC_S_PARM: {
            auto* p = static_cast<v4l2_streamparm*>(arg);
            if (!isCapture(p->type)) return EINVAL;
            if (request == VIDIOC_S_PARM) {
                if (d.streaming) return EBUSY;
                const v4l2_fract want = p->parm.capture.timeperframe;
                const auto rates = RatesFor(d, d.fourcc, d.width, d.height);
                if (want.numerator && want.denominator && !rates.empty()) {
                    const double fps = double(want.denominator) / want.numerator;
                    const FakeFormat* f = FindFormat(d, d.fourcc);
                    if (f && f->stepwise.maxWidth > 0) {
                        d.interval = IntervalOf(std::clamp(fps, 1.0, f->stepwise.maxFps));
                    } else {
                        double best = rates.front();
                        for (double r : rates)
                            if (std::abs(r - fps) < std::abs(best - fps)) best = r;
                        d.interval = IntervalOf(best);
                    }
                }
            }
            *p = {};
            p->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            p->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
            p->parm.capture.timeperframe = d.interval;
            p->parm.capture.readbuffers = 0;
            return 0;
        }
        case VIDIOC_QUERYCTRL: {
            auto* q = static_cast<v4l2_queryctrl*>(arg);
            const Control* c = nullptr;
            if (q->id & V4L2_CTRL_FLAG_NEXT_CTRL) {
                const uint32_t after =
                    q->id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
                for (const Control& k : d.controls)
                    if (k.id > after && (!c || k.id < c->id)) c = &k;
            } else {
                c = FindControl(d, q->id);
            }
            if (!c) return EINVAL;
            *q = {};
            q->id = c->id;
            q->type = c->type;
            std::snprintf(reinterpret_cast<char*>(q->name), sizeof q->name, "%s", c->name);
            q->minimum = c->min;
            q->maximum = c->max;
            q->step = c->step;
            q->default_value = c->def;
            const bool manualExposure =
                ControlValue(d, V4L2_CID_EXPOSURE_AUTO) == V4L2_EXPOSURE_MANUAL;
            if ((c->id == V4L2_CID_EXPOSURE_ABSOLUTE && !manualExposure) ||
                (c->id == V4L2_CID_WHITE_BALANCE_TEMPERATURE &&
                 ControlValue(d, V4L2_CID_AUTO_WHITE_BALANCE)))
                q->flags |= V4L2_CTRL_FLAG_INACTIVE;
            return 0;
        }
        case VIDIOC_QUERYMENU: {
            auto* qm = static_cast<v4l2_querymenu*>(arg);
            const Control* c = FindControl(d, qm->id);
            if (!c || c->type != V4L2_CTRL_TYPE_MENU || int64_t(qm->index) < c->min ||
                int64_t(qm->index) > c->max || !(c->menuMask & (1ull << qm->index)))
                return EINVAL;
            const char* name = MenuName(qm->id, qm->index);
            std::snprintf(reinterpret_cast<char*>(qm->name), sizeof qm->name, "%s",
                          name ? name : "");
            qm->reserved = 0;
            return 0;
        }
        case VIDIOC_G_CTRL:
        case VIDIOC_S_CTRL: {
            auto* k = static_cast<v4l2_control*>(arg);
            Control* c = FindControl(d, k->id);
            if (!c) return EINVAL;
            if (request == VIDIOC_G_CTRL) {
                k->value = c->value;
                return 0;
            }
            int32_t v = k->value;
            if (c->type == V4L2_CTRL_TYPE_MENU) {
                if (v < c->min || v > c->max || !(c->menuMask & (1ull << v))) return EINVAL;
            } else {
                v = std::clamp(v, c->min, c->max);
                if (c->step > 1) v = c->min + (v - c->min + c->step / 2) / c->step * c->step;
                if (v > c->max) v -= c->step;
            }
            c->value = v;
            k->value = v;
            UpdateSensor(d);
            return 0;
        }
        case VIDIOC_REQBUFS: {
            auto* r = static_cast<v4l2_requestbuffers*>(arg);
            if (!isCapture(r->type) || r->memory != V4L2_MEMORY_MMAP) return EINVAL;
            if (d.ownerFd >= 0 && d.ownerFd != fd) return EBUSY;
            if (d.streaming || AnyMapped(d)) return EBUSY;
            FreeBuffers(d);
            if (r->count == 0) return 0;
            v4l2_pix_format p{};
            p.pixelformat = d.fourcc;
            p.width = d.width;
            p.height = d.height;
            Adjust(d, &p);
            r->count = std::min<uint32_t>(r->count, kMaxBuffers);
            const size_t page = 4096;
            const size_t length = (p.sizeimage + page - 1) / page * page;
            for (uint32_t i = 0; i < r->count; ++i) {
                Slot s;
                s.block = std::make_shared<Block>(length, file.device);
                if (!s.block->mem) {
                    d.slots.clear();
                    return ENOMEM;
                }
                d.slots.push_back(std::move(s));
            }
            d.ownerFd = fd;
            r->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
            return 0;
        }
        case VIDIOC_QUERYBUF:
        case VIDIOC_QBUF:
        case VIDIOC_DQBUF: {
            auto* b = static_cast<v4l2_buffer*>(arg);
            if (!isCapture(b->type) || b->memory != V4L2_MEMORY_MMAP) return EINVAL;
            if (request != VIDIOC_QUERYBUF && d.ownerFd != fd)
                return d.ownerFd < 0 ? EINVAL : EBUSY;
            if (request == VIDIOC_DQBUF) {
                if (!d.streaming) return EINVAL;
                for (;;) {
                    Advance(d, Now());
                    if (d.removed) return ENODEV;
                    if (!d.streaming) return EINVAL;
                    if (!d.done.empty()) break;
                    if (file.nonblocking) return EAGAIN;
                    const double wake = std::min(NextWake(d), Now() + 0.1);
                    cv.wait_until(lock, epoch + std::chrono::duration_cast<Clock::duration>(
                                                    std::chrono::duration<double>(wake)));
                    if (!files.count(fd)) return EBADF;
                }
                const int i = d.done.front();
                d.done.pop_front();
                d.slots[i].state = SlotState::Dequeued;
                b->index = uint32_t(i);
            }
            if (b->index >= d.slots.size()) return EINVAL;
            Slot& s = d.slots[b->index];
            if (request == VIDIOC_QBUF) {
                if (s.state != SlotState::Dequeued) return EINVAL;
                s.state = SlotState::Queued;
                s.bytesused = 0;
                d.queued.push_back(int(b->index));
                cv.notify_all();
            }
            const uint32_t index = b->index;
            *b = {};
            b->index = index;
            b->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b->memory = V4L2_MEMORY_MMAP;
            b->length = uint32_t(s.block->length);
            b->m.offset = uint32_t(off_t(index) * kOffsetStep);
            b->bytesused = s.bytesused;
            b->sequence = s.sequence;
            b->timestamp = s.stamp;
            b->field = V4L2_FIELD_NONE;
            b->flags = s.flags | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
            if (s.state == SlotState::Queued) b->flags |= V4L2_BUF_FLAG_QUEUED;
            if (s.state == SlotState::Done) b->flags |= V4L2_BUF_FLAG_DONE;
            if (mappings.count(s.block->mem)) b->flags |= V4L2_BUF_FLAG_MAPPED;
            return 0;
        }
        case VIDIOC_STREAMON:
        case VIDIOC_STREAMOFF: {
            const int type = *static_cast<int*>(arg);
            if (!isCapture(uint32_t(type))) return EINVAL;
            if (d.ownerFd >= 0 && d.ownerFd != fd) return EBUSY;
            if (request == VIDIOC_STREAMOFF) {
                StreamOff(d);
                return 0;
            }
            if (d.slots.empty()) return EINVAL;
            if (d.streaming) return 0;
            d.streaming = true;
            d.nextDue = Now() + IntervalSeconds(d);
            cv.notify_all();
            return 0;
        }
        default:
            return ENOTTY;
    }
}

void* CFakeV4l2::Mmap(size_t length, int prot, int flags, int fd, off_t offset) {
    std::lock_guard<std::mutex> lock(m->mu);
    auto it = m->files.find(fd);
    int error = 0;
    if (it == m->files.end()) {
        error = EBADF;
    } else {
        Impl::Device& d = m->devices[it->second.device];
        const off_t index = offset / kOffsetStep;
        if (d.removed) {
            error = ENODEV;
        } else if (d.faults.refuseMmap || it->second.meta || !(flags & MAP_SHARED) ||
                   !(prot & PROT_READ) || offset % kOffsetStep != 0 || index < 0 ||
                   index >= off_t(d.slots.size()) || length == 0 ||
                   length > d.slots[index].block->length) {
            error = EINVAL;
        } else {
            const std::shared_ptr<Block>& b = d.slots[index].block;
            Impl::Mapping& map = m->mappings[b->mem];
            map.block = b;
            ++map.count;
            return b->mem;
        }
    }
    errno = error;
    return MAP_FAILED;
}

int CFakeV4l2::Munmap(void* addr, size_t length) {
    std::lock_guard<std::mutex> lock(m->mu);
    auto it = m->mappings.find(addr);
    if (it == m->mappings.end() || length == 0 || length > it->second.block->length) {
        errno = EINVAL;
        return -1;
    }
    if (--it->second.count == 0) m->mappings.erase(it);
    return 0;
}

int CFakeV4l2::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(m->mu);
    const double deadline = timeoutMs < 0 ? kNever : m->Now() + timeoutMs / 1000.0;
    for (;;) {
        int ready = 0;
        double wake = deadline;
        for (nfds_t i = 0; i < count; ++i) {
            pollfd& p = fds[i];
            p.revents = 0;
            auto it = m->files.find(p.fd);
            if (it == m->files.end()) {
                p.revents = POLLNVAL;
            } else if (!it->second.meta) {
                Impl::Device& d = m->devices[it->second.device];
                m->Advance(d, m->Now());
                if (d.removed)
                    p.revents = POLLERR | POLLHUP;
                else if (!d.streaming || d.ownerFd != p.fd)
                    p.revents = POLLERR;
                else if (!d.done.empty())
                    p.revents = short(p.events & (POLLIN | POLLRDNORM));
                wake = std::min(wake, m->NextWake(d));
            }
            if (p.revents) ++ready;
        }
        if (ready) return ready;
        const double now = m->Now();
        if (now >= deadline) return 0;
        if (wake == kNever) {
            m->cv.wait(lock);
        } else {
            m->cv.wait_until(lock, m->epoch + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(wake)));
        }
    }
}

void CFakeV4l2::SetFaults(int device, const FakeFaults& faults) {
    std::lock_guard<std::mutex> lock(m->mu);
    if (device < 0 || device >= int(m->devices.size())) return;
    m->devices[device].faults = faults;
    m->cv.notify_all();
}

void CFakeV4l2::Unplug(int device) {
    std::lock_guard<std::mutex> lock(m->mu);
    if (device < 0 || device >= int(m->devices.size())) return;
    m->Remove(m->devices[device]);
}

int64_t CFakeV4l2::FramesProduced(int device) const {
    std::lock_guard<std::mutex> lock(m->mu);
    if (device < 0 || device >= int(m->devices.size())) return 0;
    return m->devices[device].produced;
}

std::vector<uint8_t> CFakeV4l2::LastFrame(int device, uint32_t* fourcc, int* width,
                                          int* height) const {
    std::lock_guard<std::mutex> lock(m->mu);
    if (device < 0 || device >= int(m->devices.size())) return {};
    const Impl::Device& d = m->devices[device];
    if (fourcc) *fourcc = d.lastFourcc;
    if (width) *width = d.lastWidth;
    if (height) *height = d.lastHeight;
    return d.last;
}

int CFakeV4l2::OpenFiles(int device) const {
    std::lock_guard<std::mutex> lock(m->mu);
    int n = 0;
    for (const auto& f : m->files) n += f.second.device == device;
    return n;
}

int CFakeV4l2::MappedBuffers(int device) const {
    std::lock_guard<std::mutex> lock(m->mu);
    int n = 0;
    for (const auto& map : m->mappings) n += map.second.block->device == device;
    return n;
}

int CFakeV4l2::RequestedBuffers(int device) const {
    std::lock_guard<std::mutex> lock(m->mu);
    if (device < 0 || device >= int(m->devices.size())) return 0;
    return int(m->devices[device].slots.size());
}

bool CFakeV4l2::Streaming(int device) const {
    std::lock_guard<std::mutex> lock(m->mu);
    if (device < 0 || device >= int(m->devices.size())) return false;
    return m->devices[device].streaming;
}

SimSensorSettings CFakeV4l2::SensorSettings(int device) const {
    std::lock_guard<std::mutex> lock(m->mu);
    if (device < 0 || device >= int(m->devices.size())) return {};
    return m->devices[device].sensor->Settings();
}
