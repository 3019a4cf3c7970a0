// Counting checked against the truth: snaps of the simulated specimen, whose cells the specimen
// lists with their centre and size.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numeric>

#include "camera/sim/sim_sensor.h"
#include "camera/sim/virtual_slide.h"
#include "segm_fixture.h"

using namespace segm_test;

namespace {

constexpr double kPi = 3.14159265358979323846;

// A placed cell as the snap shows it, in pixels.
struct TrueCell {
    double x, y;  // centre
    double a, b;  // semi-axes
    double angle;
    double halfWidth, halfHeight;  // of the drawn cell's box (the slide draws to 1.05 a)
    bool inside = false;           // entirely inside the field
    int clump = -1;                // cells overlapping by much share a clump number
};

bool InEllipse(const TrueCell& c, double x, double y, double scale) {
    const double dx = x - c.x, dy = y - c.y, cs = std::cos(c.angle), sn = std::sin(c.angle);
    const double u = (dx * cs + dy * sn) / (c.a * scale), v = (-dx * sn + dy * cs) / (c.b * scale);
    return u * u + v * v <= 1;
}

struct Snap {
    cv::Mat picture;
    std::vector<TrueCell> cells;
};

// A snap of the sensor's size at the stage position, with the cells placed in and around the
// field.
Snap SnapAt(CVirtualSpecimen& specimen, double unitsPerPixel, cv::Size size, double x, double y) {
    auto shared = std::shared_ptr<CVirtualSpecimen>(&specimen, [](CVirtualSpecimen*) {});
    CSimSensor sensor(shared);
    SimSensorSettings s;
    s.unitsPerPixel = unitsPerPixel;
    s.sensorWidth = s.width = size.width;
    s.sensorHeight = s.height = size.height;
    EXPECT_TRUE(sensor.SetSettings(s));
    sensor.Stage().SetPosition(x, y, 0);
    FCObjImage frame;
    EXPECT_TRUE(sensor.Render(0, &frame, 24));
    Snap snap;
    const int w = frame.Width(), h = frame.Height();
    snap.picture.create(h, w, CV_8UC3);
    for (int row = 0; row < h; ++row) std::memcpy(snap.picture.ptr(row), frame.GetRow(row), w * 3);

    // Pixel centres sample the slide at pose + units * (pixel + 0.5 - size / 2).
    const SimStagePose pose = sensor.Stage().Pose(0);
    const double margin = 100;
    const SpecimenRect field{
        pose.x - w / 2.0 * unitsPerPixel - margin, pose.y - h / 2.0 * unitsPerPixel - margin,
        pose.x + w / 2.0 * unitsPerPixel + margin, pose.y + h / 2.0 * unitsPerPixel + margin};
    for (const SpecimenCell& c : specimen.CellsIn(field)) {
        TrueCell t;
        t.x = (c.x - pose.x) / unitsPerPixel + w / 2.0 - 0.5;
        t.y = (c.y - pose.y) / unitsPerPixel + h / 2.0 - 0.5;
        t.a = c.a / unitsPerPixel;
        t.b = c.b / unitsPerPixel;
        t.angle = c.angle;
        const double cs = std::cos(c.angle), sn = std::sin(c.angle);
        t.halfWidth = 1.05 * std::hypot(t.a * cs, t.b * sn);
        t.halfHeight = 1.05 * std::hypot(t.a * sn, t.b * cs);
        t.inside = t.x - t.halfWidth >= 0 && t.y - t.halfHeight >= 0 &&
                   t.x + t.halfWidth <= w - 1 && t.y + t.halfHeight <= h - 1;
        snap.cells.push_back(t);
    }
    // Cells lying on one another, centres closer than 0.8 of their long semi-axes together, show
    // as one outline with no neck to split at: they form a clump, whose count and centres no
    // outline can tell. Everything else must be found.
    std::vector<int> parent(snap.cells.size());
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    for (size_t i = 0; i < snap.cells.size(); ++i)
        for (size_t j = i + 1; j < snap.cells.size(); ++j) {
            const TrueCell &p = snap.cells[i], &q = snap.cells[j];
            if (std::hypot(p.x - q.x, p.y - q.y) < 0.8 * (p.a + q.a))
                parent[find(int(i))] = find(int(j));
        }
    std::vector<int> size(snap.cells.size(), 0);
    for (size_t i = 0; i < snap.cells.size(); ++i) ++size[find(int(i))];
    for (size_t i = 0; i < snap.cells.size(); ++i)
        if (size[find(int(i))] > 1) snap.cells[i].clump = find(int(i));
    return snap;
}

}  // namespace

TEST(SegmAccuracy, SnapsOfTheSpecimenCountTheCellsInsideAndFindTheirCentres) {
    CVirtualSpecimen specimen(0x5EC0u);
    struct Case {
        double unitsPerPixel;
        cv::Size size;
        double x, y;
    };
    // Fields across the tissue at the two scales of the simulated cameras.
    const cv::Size sxga(1280, 1024), qxga(2048, 1536);
    const Case cases[] = {{1.0, sxga, 30000, 31000}, {1.0, sxga, 36800, 34600},
                          {1.0, sxga, 44000, 29000}, {1.0, sxga, 51000, 47000},
                          {0.5, qxga, 33000, 41000}, {0.5, qxga, 47000, 36000}};
    int totalCells = 0, totalClumped = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "field at " << c.x << "," << c.y << ", "
                                        << c.unitsPerPixel << " units per pixel");
        const Snap snap = SnapAt(specimen, c.unitsPerPixel, c.size, c.x, c.y);
        Segm s;
        // The area filter set to the cell size: the slide's cells have semi-axes 16 to 42 units,
        // the short one at least 0.65 of the long one.
        const double unitArea = 1.0 / (c.unitsPerPixel * c.unitsPerPixel);
        imagepro_segm_set_findbyareaorlength(s.h, 1, 0);
        imagepro_segm_set_Rangeminarea(s.h, int(0.6 * kPi * 16 * 16 * 0.65 * unitArea));
        imagepro_segm_set_Rangemaxarea(s.h, int(1.3 * kPi * 42 * 42 * unitArea));
        ASSERT_EQ(s.Run(snap.picture), IMAGEPRO_OK);
        const auto found = s.Objects();

        int expected = 0, clumped = 0;
        for (const TrueCell& t : snap.cells)
            if (t.inside) (t.clump < 0 ? expected : clumped) += 1;
        int counted = 0;
        for (const imagepro_contour& o : found) {
            bool inClump = false;
            for (const TrueCell& t : snap.cells)
                inClump |= t.clump >= 0 && InEllipse(t, o.centerX, o.centerY, 1.05);
            if (inClump) continue;
            ++counted;
            double nearest = 1e300;
            for (const TrueCell& t : snap.cells)
                nearest = std::min(nearest, std::hypot(o.centerX - t.x, o.centerY - t.y));
            EXPECT_LE(nearest, 3.0)
                << "object at " << o.centerX << "," << o.centerY << " (area " << o.area << ")";
        }
        EXPECT_GE(expected, 10);
        EXPECT_LE(std::abs(counted - expected), 0.03 * expected)
            << counted << " found, " << expected << " placed";
        totalCells += expected;
        totalClumped += clumped;
    }
    // Clumps are the exception on this slide, not what the test lives on.
    EXPECT_LT(totalClumped, (totalCells + totalClumped) / 4);
}
