#pragma once
// An open V4L2 node and what it offers: whether it is a streaming capture node, its formats
// ("media types") with their frame sizes, and the negotiation of one format for streaming.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "camera/uvc/v4l2_sys.h"

// One open file of a device node; closed when the last owner lets go (the capture thread and
// its buffers may outlive the camera's own reference).
class CV4l2Device {
public:
    // Null, with *error set to errno, when the node cannot be opened.
    static std::shared_ptr<CV4l2Device> Open(std::shared_ptr<IV4l2Sys> sys, const std::string& path,
                                             int* error = nullptr);
    ~CV4l2Device();
    CV4l2Device(const CV4l2Device&) = delete;
    CV4l2Device& operator=(const CV4l2Device&) = delete;

    // 0, or the errno of the failed call.
    int Ioctl(unsigned long request, void* arg) const;
    IV4l2Sys& Sys() const { return *m_sys; }
    int Fd() const { return m_fd; }
    const std::string& Path() const { return m_path; }

private:
    CV4l2Device(std::shared_ptr<IV4l2Sys> sys, int fd, std::string path);

    std::shared_ptr<IV4l2Sys> m_sys;
    int m_fd;
    std::string m_path;
};

struct V4l2Size {
    int width = 0;
    int height = 0;
    bool operator==(const V4l2Size&) const = default;
};

// A pixel format this layer decodes, with its frame sizes, smallest first.
struct V4l2MediaType {
    uint32_t fourcc = 0;
    std::u16string name;  // "MJPG", "YUY2"
    std::vector<V4l2Size> sizes;
};

// The format a stream runs with, as the driver agreed to it.
struct V4l2StreamFormat {
    uint32_t fourcc = 0;
    int width = 0;
    int height = 0;
    int64_t bytesPerLine = 0;
    uint32_t sizeImage = 0;
    double intervalSeconds = 0;  // 0 when the driver does not say
};

// A video-capture node that streams (metadata, output and read()-only nodes are not).
// The card name goes to *card, the bus position to *port.
bool IsStreamingCaptureNode(const CV4l2Device& dev, std::string* card, std::string* port = nullptr);

// The decodable formats in the driver's order. Sizes whose 24-bit rows would need padding
// (width not a multiple of 4) are left out: a still of such a size would not fit a buffer of
// width x height x 3 bytes.
std::vector<V4l2MediaType> EnumerateMediaTypes(const CV4l2Device& dev);

// Sets the format and the fastest frame interval for it. 0, or an errno (EINVAL when the driver
// would deliver another format or size than asked).
int ApplyStreamFormat(const CV4l2Device& dev, uint32_t fourcc, V4l2Size size,
                      V4l2StreamFormat* out);

// The media-type name of a fourcc ("YUY2" for YUYV, the fourcc's letters otherwise).
std::u16string MediaTypeName(uint32_t fourcc);
bool IsDecodableFourcc(uint32_t fourcc);
