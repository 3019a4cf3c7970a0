#pragma once
// CMp4Encoder: one MP4 file of H.264 video (libx264 through libavcodec, preset "ultrafast",
// profile "baseline", 400 kbit/s), written in fragments of about one second so that a file cut
// off by a crash or a killed process still plays up to its last second.
//
// Timestamps are 1/90000 s from a microsecond clock, counted from the first frame: a pause
// shows as a jump. Each packet is written once the next one is known, so every frame carries its
// real duration; the last one is held long enough that the file spans at least kMinSpanUs.
//
// Frames are given as planar YUV 4:2:0 in the encoder's own input frame (InputFrame, which
// CFrameConverter fills). The video size is the frame size made even (H.264 4:2:0 needs even
// sizes): an odd width or height loses its last column or row.
//
// Threads: Open and EncodeFrame on one thread at a time; Finish may run on another thread once
// the first has handed the object over (the recorder's finishing worker does).

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

class CMp4Encoder {
public:
    // Microseconds of a monotonic clock.
    using Clock = std::function<int64_t()>;
    static constexpr int kTimeBase = 90000;
    static constexpr int64_t kMinSpanUs = 3000000;
    // Fragment length, microseconds.
    static constexpr int64_t kFragmentUs = 1000000;

    CMp4Encoder();
    // A file still open is finished.
    ~CMp4Encoder();
    CMp4Encoder(const CMp4Encoder&) = delete;
    CMp4Encoder& operator=(const CMp4Encoder&) = delete;

    // The clock for the timestamps (default: FFmpeg's monotonic clock); before Open.
    void SetClock(Clock clock) { m_clock = std::move(clock); }

    // Creates the file and opens the encoder for frames of width x height. False with the
    // reason in Error() when the size is too small, the file cannot be created or the encoder
    // cannot be opened; nothing may then be encoded or finished on it.
    bool Open(int width, int height, const QString& path);
    bool IsOpen() const { return m_pCodec != nullptr; }

    // The input frame to fill before EncodeFrame (null unless open).
    AVFrame* InputFrame() const { return m_pFrame; }
    // Encodes the input frame with the time now. False (the frame is dropped, the file goes on)
    // when the encoder or the file refuses it.
    bool EncodeFrame();

    // Drains the encoder, writes the last packet and the trailer and closes the file. False with
    // the reason when the drain or the trailer fails (the fragments written so far still play).
    bool Finish();
    // Closes the file without finishing it and removes it: for a file that never got a frame.
    void Discard();

    const std::string& Error() const { return m_strError; }
    const QString& Path() const { return m_strPath; }
    int Width() const { return m_nWidth; }      // as given to Open
    int Height() const { return m_nHeight; }
    int VideoWidth() const { return m_nWidth & ~1; }
    int VideoHeight() const { return m_nHeight & ~1; }
    int64_t FramesEncoded() const { return m_nFrames; }
    // The timestamp of the last frame given, in 1/90000 s from the first.
    int64_t LastTimestamp() const { return m_nLastPts; }

private:
    bool Fail(const std::string& what, int code = 0);
    // Takes every packet the encoder has ready; false when it failed.
    bool DrainPackets();
    // Writes the held packet with the given duration (1/90000 s) and holds pkt instead.
    bool WriteHeld(int64_t duration);
    void Close();

    Clock m_clock;
    int m_nWidth = 0, m_nHeight = 0;
    QString m_strPath;
    std::string m_strError;
    AVFormatContext* m_pFormat = nullptr;
    AVStream* m_pStream = nullptr;
    AVCodecContext* m_pCodec = nullptr;
    AVFrame* m_pFrame = nullptr;
    AVPacket* m_packet = nullptr;
    AVPacket* m_held = nullptr;  // written once the next packet's time is known
    bool m_bHeld = false;
    bool m_bHeaderWritten = false;
    int64_t m_nStartTime = 0;  // clock reading of the first frame
    int64_t m_nLastPts = -1;
    int64_t m_nFrames = 0;
    int64_t m_nLastDuration = 0;  // of the last packet written, for the last one's minimum
};
