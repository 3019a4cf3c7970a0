#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <opencv2/core.hpp>

#include "image/image_handle.h"

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // Ours run on one core (the camera thread); so does the peer, for a like-for-like figure.
    cv::setNumThreads(1);
    // The program's heap settings for large pictures apply to both sides.
    FCImageHandleFactory::Get();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
