#pragma once
// CRecorder: the live document's video recording. The Record dialog (or the command-line tool)
// sets the recording state; the live frame path calls RecordFrame with every processed frame on
// the camera's thread, which opens the encoder, converts and encodes the frame, and hands a
// stopped recording to a finishing worker, so the camera thread never waits for the encoder to
// drain or the file to close and the live picture keeps running.
//
// States (m_nRecordState): 0 idle, 1 open requested (a file was chosen), 2 encoder open (not yet
// recording), 3 recording, 4 paused, 5 finish requested. 0 -> 1 -> 2 -> 3 <-> 4 -> 5 -> 0; the
// frame after a request carries it out.
//
// Threads: RequestFile and the state writes on the user-interface thread; RecordFrame on the
// camera thread; EndRecording on any thread. RecordFrame and EndRecording share one lock, held
// for one frame's conversion and encoding at most.

#include <QDateTime>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/recording/frame_converter.h"
#include "camera/recording/mp4_encoder.h"

enum RecordState : int {
    kRecordIdle = 0,
    kRecordOpenRequested = 1,
    kRecordOpen = 2,
    kRecording = 3,
    kRecordPaused = 4,
    kRecordFinishRequested = 5,
};

// "%d%d%d%d%d%d.mp4" of year, month, day, hour, minute and second, without padding.
QString DefaultRecordFileName(const QDateTime& when);
// The path with ".mp4" appended unless its last four characters are exactly ".mp4".
QString WithMp4Extension(const QString& path);

class CRecorder {
public:
    // A file finished (or given up) by the worker.
    struct Result {
        QString path;
        int64_t frames = 0;
        int width = 0, height = 0;  // of the video
        bool ok = false;            // the file was finished and plays
        bool discarded = false;     // it never got a frame and was removed
        std::string error;
    };
    // The file being recorded.
    struct Status {
        bool open = false;  // an encoder is open for the chosen file
        std::string error;  // why the chosen file could not be opened; empty otherwise
        int64_t frames = 0;
        int width = 0, height = 0;
    };

    CRecorder() = default;
    // Finishes a recording still running and waits for every file to be finished.
    ~CRecorder();
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    std::atomic<int> m_nRecordState{kRecordIdle};

    // The Path choice: the file the next frame opens (state 1).
    void RequestFile(const QString& path);
    QString RecordFile() const;

    // The recording hook: one processed frame (DIB rows, 24 or 32 bits). Camera thread.
    void RecordFrame(const uint8_t* pixels, int width, int height, int bitCount);

    // The camera goes away (its window closes, it is switched or unplugged, the program quits,
    // the dialog closes): a file with frames is finished into a playable file by the worker,
    // one without frames is removed, and the state returns to idle. Never waits for the file.
    void EndRecording();

    // Waits until the worker has finished every file handed to it; false on time-out.
    bool WaitFinished(std::chrono::milliseconds timeout);
    std::vector<Result> Finished() const;
    Status GetStatus() const;

    // The timestamps' clock for the encoders opened from now on (tests inject one).
    void SetClock(CMp4Encoder::Clock clock);
    // Scalers made so far (one per recording while the frame size stays).
    int ScalersMade() const { return m_nScalersMade.load(); }

private:
    // Under m_lock: gives the current encoder to the worker.
    void HandOver();
    void OpenEncoder(const QString& path, int width, int height);
    void PublishStatus();
    void FinishLoop();

    mutable std::mutex m_fileLock;  // the two below
    QString m_szRecordFile;
    uint64_t m_nFileSerial = 0;  // counts the Path choices

    std::mutex m_lock;  // the encoder, the converter and what was opened
    std::unique_ptr<CMp4Encoder> m_pEncoder;
    CFrameConverter m_converter;
    uint64_t m_nOpenedSerial = 0;
    CMp4Encoder::Clock m_clock;
    std::atomic<int> m_nScalersMade{0};

    mutable std::mutex m_statusLock;
    Status m_status;

    // The finishing worker.
    mutable std::mutex m_finishLock;
    std::condition_variable m_finishWake;
    std::deque<std::unique_ptr<CMp4Encoder>> m_finishQueue;
    bool m_bFinishing = false;
    bool m_bQuit = false;
    std::vector<Result> m_finished;
    std::thread m_worker;
};
