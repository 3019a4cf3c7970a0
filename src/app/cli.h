#pragma once
// Sub-commands of norvanescope-cli. Each prints plain text, one fact per line, and returns
// the exit status: 0 on success, otherwise non-zero after one line on stderr.

#include <string>
#include <vector>

using CliArgs = std::vector<std::string>;

inline constexpr int kCliFailure = 1;
inline constexpr int kCliUsage = 2;

// Writes "norvanescope-cli: <reason>" on stderr and returns kCliFailure.
int CliFail(const std::string& reason);
// Writes "usage: norvanescope-cli <synopsis>" on stderr and returns kCliUsage.
int CliUsage(const std::string& synopsis);
// The text in double quotes, for naming files in messages.
std::string CliQuoted(const std::string& s);
// A whole decimal integer within [lo, hi].
bool CliParseInt(const std::string& text, int lo, int hi, int* out);

// Pictures.
int CliInfo(const CliArgs& args);
int CliConvert(const CliArgs& args);

// Overlay scripts: measurements, burn-in and CSV export.
int CliOverlay(const CliArgs& args);
int CliProcess(const CliArgs& args);
int CliTranslate(const CliArgs& args);

// Counting objects.
int CliCount(const CliArgs& args);

// Cameras: listing, snapping, streaming and reporting a device entry.
int CliCameras(const CliArgs& args);
int CliSnap(const CliArgs& args);
int CliStream(const CliArgs& args);
int CliProps(const CliArgs& args);
// Series of a simulated camera (fields, exposures, focus) with their truth.
int CliSeries(const CliArgs& args);

// Advanced functions on picture files: stitching, exposure fusion, focus fusion.
int CliStitch(const CliArgs& args);
int CliHdr(const CliArgs& args);
int CliEdf(const CliArgs& args);

// The stage under a simulated camera: moves, paths, the true position.
int CliStage(const CliArgs& args);
// Recording a camera to MP4, and interval capture.
int CliRecord(const CliArgs& args);
int CliInterval(const CliArgs& args);
// Acquisition sources (SANE devices): listing, and acquiring pictures into PNG files.
int CliSources(const CliArgs& args);
int CliAcquire(const CliArgs& args);
