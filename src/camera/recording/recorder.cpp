#include "camera/recording/recorder.h"

QString DefaultRecordFileName(const QDateTime& when) {
    const QDate d = when.date();
    const QTime t = when.time();
    return QString::asprintf("%d%d%d%d%d%d.mp4", d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

QString WithMp4Extension(const QString& path) {
    if (path.size() >= 4 && path.right(4) == QLatin1String(".mp4")) return path;
    return path + QStringLiteral(".mp4");
}

CRecorder::~CRecorder() {
    EndRecording();
    {
        std::lock_guard lock(m_finishLock);
        m_bQuit = true;
    }
    m_finishWake.notify_all();
    if (m_worker.joinable()) m_worker.join();
}

void CRecorder::RequestFile(const QString& path) {
    {
        std::lock_guard lock(m_fileLock);
        m_szRecordFile = path;
        ++m_nFileSerial;
    }
    m_nRecordState = kRecordOpenRequested;
}

QString CRecorder::RecordFile() const {
    std::lock_guard lock(m_fileLock);
    return m_szRecordFile;
}

void CRecorder::SetClock(CMp4Encoder::Clock clock) {
    std::lock_guard lock(m_lock);
    m_clock = std::move(clock);
}

void CRecorder::RecordFrame(const uint8_t* pixels, int width, int height, int bitCount) {
    if (m_nRecordState.load() == kRecordIdle) return;
    std::lock_guard lock(m_lock);
    int state = m_nRecordState.load();
    if (state == kRecordIdle) return;
    if (state == kRecordFinishRequested) {
        HandOver();
        m_nRecordState.compare_exchange_strong(state, kRecordIdle);
        return;
    }
    // A file chosen since the last frame; also when Start came before any frame did.
    uint64_t serial;
    QString path;
    {
        std::lock_guard fileLock(m_fileLock);
        serial = m_nFileSerial;
        path = m_szRecordFile;
    }
    if (serial != m_nOpenedSerial) {
        HandOver();
        m_nOpenedSerial = serial;
        OpenEncoder(path, width, height);
        int expected = kRecordOpenRequested;
        m_nRecordState.compare_exchange_strong(expected, kRecordOpen);
        state = m_nRecordState.load();
    }
    if (state != kRecording || !pixels || !m_pEncoder || !m_pEncoder->IsOpen()) return;
    // A frame that fails to convert or encode is dropped; the recording goes on.
    if (m_converter.ConvertFrame(pixels, width, height, bitCount, m_pEncoder->InputFrame()))
        m_pEncoder->EncodeFrame();
    m_nScalersMade = m_converter.ScalersMade();
    PublishStatus();
}

void CRecorder::OpenEncoder(const QString& path, int width, int height) {
    m_pEncoder = std::make_unique<CMp4Encoder>();
    if (m_clock) m_pEncoder->SetClock(m_clock);
    m_pEncoder->Open(width, height, path);
    PublishStatus();
}

void CRecorder::PublishStatus() {
    Status s;
    if (m_pEncoder) {
        s.open = m_pEncoder->IsOpen();
        if (!s.open) s.error = m_pEncoder->Error();
        s.frames = m_pEncoder->FramesEncoded();
        s.width = m_pEncoder->VideoWidth();
        s.height = m_pEncoder->VideoHeight();
    }
    std::lock_guard lock(m_statusLock);
    m_status = s;
}

CRecorder::Status CRecorder::GetStatus() const {
    std::lock_guard lock(m_statusLock);
    return m_status;
}

void CRecorder::EndRecording() {
    std::lock_guard lock(m_lock);
    HandOver();
    {
        std::lock_guard fileLock(m_fileLock);
        m_nOpenedSerial = m_nFileSerial;
    }
    m_nRecordState = kRecordIdle;
}

void CRecorder::HandOver() {
    std::unique_ptr<CMp4Encoder> encoder = std::move(m_pEncoder);
    PublishStatus();
    // An encoder that never opened has nothing to finish.
    if (!encoder || !encoder->IsOpen()) return;
    {
        std::lock_guard lock(m_finishLock);
        m_finishQueue.push_back(std::move(encoder));
        if (!m_worker.joinable()) m_worker = std::thread([this] { FinishLoop(); });
    }
    m_finishWake.notify_all();
}

void CRecorder::FinishLoop() {
    std::unique_lock lock(m_finishLock);
    for (;;) {
        m_finishWake.wait(lock, [this] { return m_bQuit || !m_finishQueue.empty(); });
        if (m_finishQueue.empty()) return;  // quitting with nothing left
        std::unique_ptr<CMp4Encoder> encoder = std::move(m_finishQueue.front());
        m_finishQueue.pop_front();
        m_bFinishing = true;
        lock.unlock();
        Result r;
        r.path = encoder->Path();
        r.frames = encoder->FramesEncoded();
        r.width = encoder->VideoWidth();
        r.height = encoder->VideoHeight();
        if (r.frames == 0) {
            encoder->Discard();
            r.discarded = true;
        } else {
            r.ok = encoder->Finish();
            r.error = encoder->Error();
        }
        encoder.reset();
        lock.lock();
        m_finished.push_back(std::move(r));
        m_bFinishing = false;
        m_finishWake.notify_all();
    }
}

bool CRecorder::WaitFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_finishLock);
    return m_finishWake.wait_for(lock, timeout, [this] { return m_finishQueue.empty() && !m_bFinishing; });
}

std::vector<CRecorder::Result> CRecorder::Finished() const {
    std::lock_guard lock(m_finishLock);
    return m_finished;
}
