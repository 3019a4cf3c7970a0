#include "camera/recording/mp4_encoder.h"

#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/time.h>
}

Q_LOGGING_CATEGORY(lcRecording, "norvanescope.recording", QtWarningMsg)

namespace {

// FFmpeg's console chatter goes to the recording category (off unless asked for with
// QT_LOGGING_RULES); every failure reaches the user through the encoder's reason instead.
void LogToCategory(void* avcl, int level, const char* fmt, va_list args) {
    if (level > AV_LOG_INFO || !lcRecording().isInfoEnabled()) return;
    thread_local int prefix = 1;
    char line[1024];
    av_log_format_line(avcl, level, fmt, args, line, sizeof line, &prefix);
    qCInfo(lcRecording, "%s", line);
}

void RouteLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(&LogToCategory); });
}

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

constexpr int64_t kFallbackFrameDuration = CMp4Encoder::kTimeBase / 25;

}  // namespace

CMp4Encoder::CMp4Encoder() : m_clock([] { return av_gettime_relative(); }) {}

CMp4Encoder::~CMp4Encoder() {
    if (IsOpen()) Finish();
    Close();
}

bool CMp4Encoder::Fail(const std::string& what, int code) {
    m_strError = code ? what + ": " + ErrorText(code) : what;
    qCInfo(lcRecording, "%s", m_strError.c_str());
    return false;
}

bool CMp4Encoder::Open(int width, int height, const QString& path) {
    if (m_pFormat || m_pCodec) return Fail("Failed to open encoder! (already open)");
    m_strError.clear();
    if (width < 2 || height < 2) return Fail("Failed to open encoder! (frame too small)");
    if (path.isEmpty()) return Fail("Failed to open output file! (no name)");
    RouteLibraryLog();
    m_nWidth = width;
    m_nHeight = height;
    m_strPath = path;
    m_nStartTime = 0;
    const QByteArray name = QFile::encodeName(path);

    int status = avformat_alloc_output_context2(&m_pFormat, nullptr, "mp4", name.constData());
    if (status < 0 || !m_pFormat) return Fail("Failed to open output file! " + path.toStdString(), status);
    const AVCodecID id = m_pFormat->oformat->video_codec;
    const AVCodec* codec = avcodec_find_encoder(id);
    if (!codec) {
        Close();
        return Fail("Can not find encoder!");
    }
    m_pStream = avformat_new_stream(m_pFormat, nullptr);
    m_pCodec = avcodec_alloc_context3(codec);
    if (!m_pStream || !m_pCodec) {
        Close();
        return Fail("Failed to open encoder! (out of memory)");
    }
    AVCodecContext* c = m_pCodec;
    c->codec_id = id;
    c->codec_type = AVMEDIA_TYPE_VIDEO;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->width = VideoWidth();
    c->height = VideoHeight();
    c->bit_rate = 400000;
    c->gop_size = 250;
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    c->me_range = 16;
    c->max_qdiff = 4;
    c->qcompress = 0.6f;
    c->qmin = 10;
    c->qmax = 50;
    c->thread_count = 4;
    c->time_base = AVRational{1, kTimeBase};
    AVDictionary* options = nullptr;
    if (id == AV_CODEC_ID_H264) {
        av_dict_set(&options, "preset", "ultrafast", 0);
        av_dict_set(&options, "profile", "baseline", 0);
    } else if (id == AV_CODEC_ID_HEVC) {
        av_dict_set(&options, "preset", "ultrafast", 0);
        av_dict_set(&options, "tune", "zero-latency", 0);
    }
    status = avcodec_open2(c, codec, &options);
    av_dict_free(&options);
    if (status < 0) {
        avcodec_free_context(&m_pCodec);
        Close();
        return Fail("Failed to open encoder!", status);
    }
    status = avcodec_parameters_from_context(m_pStream->codecpar, c);
    if (status < 0) {
        Close();
        return Fail("Failed to open encoder!", status);
    }
    m_pStream->time_base = c->time_base;

    status = avio_open(&m_pFormat->pb, name.constData(), AVIO_FLAG_WRITE);
    if (status < 0) {
        Close();
        return Fail("Failed to open output file! " + path.toStdString(), status);
    }
    // Fragments of about a second, each flushed to the file as it is cut: a recording that is
    // killed plays up to its last fragment.
    m_pFormat->flags |= AVFMT_FLAG_FLUSH_PACKETS;
    AVDictionary* muxer = nullptr;
    av_dict_set(&muxer, "movflags", "empty_moov+default_base_moof", 0);
    av_dict_set_int(&muxer, "frag_duration", kFragmentUs, 0);
    status = avformat_write_header(m_pFormat, &muxer);
    av_dict_free(&muxer);
    if (status < 0) {
        Close();
        QFile::remove(path);
        return Fail("Failed to open output file! " + path.toStdString(), status);
    }
    m_bHeaderWritten = true;

    m_pFrame = av_frame_alloc();
    m_packet = av_packet_alloc();
    m_held = av_packet_alloc();
    if (!m_pFrame || !m_packet || !m_held) {
        Close();
        QFile::remove(path);
        return Fail("Failed to open encoder! (out of memory)");
    }
    m_pFrame->format = c->pix_fmt;
    m_pFrame->width = c->width;
    m_pFrame->height = c->height;
    status = av_frame_get_buffer(m_pFrame, 0);
    if (status < 0) {
        Close();
        QFile::remove(path);
        return Fail("Failed to open encoder!", status);
    }
    m_nFrames = 0;
    m_nLastPts = -1;
    m_bHeld = false;
    return true;
}

bool CMp4Encoder::EncodeFrame() {
    if (!IsOpen() || !m_pFrame) return false;
    const int64_t now = m_clock();
    if (m_nFrames == 0 && m_nLastPts < 0) m_nStartTime = now;
    int64_t pts = av_rescale(now - m_nStartTime, kTimeBase, 1000000);
    // Two frames within one tick, or a clock that steps back: still strictly increasing.
    if (pts <= m_nLastPts) pts = m_nLastPts + 1;
    m_pFrame->pts = pts;
    int status = avcodec_send_frame(m_pCodec, m_pFrame);
    if (status < 0) return Fail("Failed to encode!", status);
    m_nLastPts = pts;
    ++m_nFrames;
    return DrainPackets();
}

bool CMp4Encoder::DrainPackets() {
    for (;;) {
        const int status = avcodec_receive_packet(m_pCodec, m_packet);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
        if (status < 0) return Fail("Failed to encode!", status);
        // Baseline has no reordering: packets come in presentation order, so the held one lasts
        // until this one starts.
        if (m_bHeld && !WriteHeld(m_packet->pts - m_held->pts)) {
            av_packet_unref(m_packet);
            return false;
        }
        av_packet_move_ref(m_held, m_packet);
        m_bHeld = true;
    }
}

bool CMp4Encoder::WriteHeld(int64_t duration) {
    m_held->duration = std::max<int64_t>(1, duration);
    m_nLastDuration = m_held->duration;
    m_held->stream_index = m_pStream->index;
    av_packet_rescale_ts(m_held, m_pCodec->time_base, m_pStream->time_base);
    const int status = av_interleaved_write_frame(m_pFormat, m_held);
    m_bHeld = false;
    av_packet_unref(m_held);
    if (status < 0) return Fail("Failed to write " + m_strPath.toStdString(), status);
    return true;
}

bool CMp4Encoder::Finish() {
    if (!IsOpen()) return false;
    bool ok = true;
    int status = avcodec_send_frame(m_pCodec, nullptr);
    if (status < 0) ok = Fail("Flushing encoder failed", status);
    if (ok) {
        for (;;) {
            status = avcodec_receive_packet(m_pCodec, m_packet);
            if (status == AVERROR_EOF || status == AVERROR(EAGAIN)) break;
            if (status < 0) {
                ok = Fail("Flushing encoder failed", status);
                break;
            }
            qCDebug(lcRecording, "Flush Encoder: Succeed to encode 1 frame!\tsize:%5d", m_packet->size);
            if (m_bHeld && !WriteHeld(m_packet->pts - m_held->pts)) {
                ok = false;
                break;
            }
            av_packet_move_ref(m_held, m_packet);
            m_bHeld = true;
        }
    }
    if (m_bHeld) {
        // The last frame lasts as long as the one before it, and long enough for the file to
        // span the minimum from its first frame.
        const int64_t minimumEnd = av_rescale(kMinSpanUs, kTimeBase, 1000000);
        const int64_t usual = m_nLastDuration > 0 ? m_nLastDuration : kFallbackFrameDuration;
        if (!WriteHeld(std::max(usual, minimumEnd - m_held->pts))) ok = false;
    }
    if (m_bHeaderWritten) {
        status = av_write_trailer(m_pFormat);
        m_bHeaderWritten = false;
        if (status < 0 && ok) ok = Fail("Failed to write " + m_strPath.toStdString(), status);
    }
    Close();
    return ok;
}

void CMp4Encoder::Discard() {
    const bool created = m_pFormat && m_pFormat->pb;
    m_bHeaderWritten = false;  // no trailer
    Close();
    if (created) QFile::remove(m_strPath);
}

void CMp4Encoder::Close() {
    avcodec_free_context(&m_pCodec);
    av_frame_free(&m_pFrame);
    av_packet_free(&m_packet);
    av_packet_free(&m_held);
    m_bHeld = false;
    if (m_pFormat) {
        if (m_pFormat->pb) avio_closep(&m_pFormat->pb);
        avformat_free_context(m_pFormat);
        m_pFormat = nullptr;
    }
    m_pStream = nullptr;
}
