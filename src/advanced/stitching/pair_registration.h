#pragma once
// CPairRegistration: where one microscope field lies relative to another that overlaps it,
// for fields that differ by a translation. The coarse shift comes from phase correlation of
// reduced, band-passed pictures; several correlation peaks are tried, each with the four
// shifts a cyclic peak can stand for, and the one whose overlap correlates best wins. The
// shift is then refined to sub-pixel accuracy at full resolution on the overlap itself. The
// normalised cross-correlation of the overlap at the final shift is the pair's confidence.
//
// Pictures are prepared once (grey, band-passed, reduced, their spectrum) and may then be
// registered against any number of others; a prepared picture is only read by Register, so
// several pairs can be registered on different threads at once. Live stitching registers each
// frame against the mosaic around a predicted place with the same calls.

#include <opencv2/core.hpp>
#include <optional>
#include <vector>

struct PairShift {
    bool found = false;
    // Top-left corner of the second picture in the first picture's pixel coordinates.
    cv::Point2d shift;
    // Normalised cross-correlation of the band-passed overlap, -1 .. 1.
    double confidence = 0;
    // Overlap area in pixels, and as a fraction of the smaller picture.
    double overlapPixels = 0;
    double overlapFraction = 0;
};

struct PairRegistrationOptions {
    // The longest side of the reduced pictures the coarse search works on.
    int reducedSide = 320;
    // Correlation peaks examined.
    int peaks = 8;
    // An overlap smaller than this is not trusted: too few pixels make any shift look good.
    double minOverlapFraction = 0.015;
    int minOverlapSide = 16;  // full-resolution pixels, in x and in y
    // Band-pass: structures much larger than this (illumination, exposure) are removed.
    double highPassSigma = 6;
    // Low-pass against sensor noise, full-resolution pixels.
    double noiseSigma = 1.2;
    // Frequencies of the phase correlation are weighted by a Gaussian of at most this width
    // (cycles per pixel; narrower for soft pictures): the highest frequencies carry mostly noise.
    double spectrumCutoff = 0.25;
    // For the sub-pixel step: 1 whitens the cross-power spectrum fully (classic phase
    // correlation), 0 not at all. The coarse search always whitens fully.
    double whitening = 0.7;
    // When set, only shifts within searchRadius of this one are considered.
    std::optional<cv::Point2d> predicted;
    double searchRadius = 0;
};

class CPairRegistration {
public:
    // A picture made ready for registration. The reduced spectrum is kept for the padded size
    // given to Prepare; pairs of pictures prepared for the same size skip their transforms.
    struct Prepared {
        cv::Size size;           // full resolution
        cv::Mat band;            // full resolution, band-passed grey, CV_32F
        float limitInverse = 0;  // the band's soft contrast limit for correlations (see .cpp)
        cv::Mat reducedBand;     // the band at the reduced scale, softly limited, CV_32F
        double factor = 1;       // full-resolution pixels per reduced pixel
        cv::Size paddedSize;     // reduced, the transform's size
        cv::Mat spectrum;        // of the windowed reduced picture at paddedSize
        bool IsValid() const { return !band.empty(); }
    };

    explicit CPairRegistration(PairRegistrationOptions options = {});
    const PairRegistrationOptions& Options() const { return m_options; }

    // The width (pixels) of a Gaussian that keeps a picture's detail and takes out most of its
    // noise, from where its power spectrum sinks into the noise floor: about 1 for a sharp
    // picture, several pixels for a soft one.
    static double DetailSigma(const cv::Mat& picture);
    // The options with their band fitted to the detail of a set of pictures: soft pictures are
    // registered on their coarser structures.
    static PairRegistrationOptions AdaptedTo(const std::vector<cv::Mat>& pictures,
                                             PairRegistrationOptions options = {});

    // The reduction factor for pictures up to this size (the same for every picture of a job,
    // so their reduced pixels match).
    double FactorFor(cv::Size largest) const;
    // picture: 8-bit grey, BGR or BGRA. largest: the largest picture of the job (sets the
    // reduction and the transform size).
    Prepared Prepare(const cv::Mat& picture, cv::Size largest) const;

    // Where b lies relative to a; found is false when no shift gives a trusted overlap.
    PairShift Register(const Prepared& a, const Prepared& b) const;
    // The coarse search alone: the best shift at the reduced scale (its confidence measured
    // there) before refinement.
    PairShift Coarse(const Prepared& a, const Prepared& b) const;
    // The sub-pixel refinement alone, from an estimate within a few pixels.
    PairShift Refine(const Prepared& a, const Prepared& b, cv::Point2d estimate) const;

    // Normalised cross-correlation of the overlap of two band-passed pictures when b's corner
    // is at the integer shift (dx, dy) in a, their values softly limited by the given inverse
    // limits (0: as they are); nothing when the overlap is too small.
    std::optional<double> OverlapCorrelation(const cv::Mat& a, float limitA, const cv::Mat& b,
                                             float limitB, int dx, int dy, int minSide,
                                             double minFraction,
                                             double* overlapPixels = nullptr) const;

private:
    bool Admissible(cv::Point2d fullShift) const;
    // Highest frequency (cycles per full-resolution pixel) the band still carries.
    double DetailCutoff() const;

    PairRegistrationOptions m_options;
};
