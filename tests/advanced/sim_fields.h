#pragma once
// Fields of the virtual specimen for the advanced-imaging tests: what a simulated camera sees
// at given stage positions, with the truth of where each field lies.

#include <cstring>
#include <functional>
#include <memory>
#include <opencv2/core.hpp>

#include "camera/sim/sim_sensor.h"

class SimFields {
public:
    explicit SimFields(int width = 640, int height = 512, uint64_t seed = 1234)
        : m_sensor(std::make_shared<CVirtualSpecimen>(seed)) {
        m_sensor.Stage().SetDrift(0, 0, 1);
        Resize(width, height);
    }
    void Resize(int width, int height) {
        SimSensorSettings s = m_sensor.Settings();
        s.sensorWidth = s.width = width;
        s.sensorHeight = s.height = height;
        m_sensor.SetSettings(s);
    }
    CSimSensor& Sensor() { return m_sensor; }
    void Change(const std::function<void(SimSensorSettings&)>& f) {
        SimSensorSettings s = m_sensor.Settings();
        f(s);
        m_sensor.SetSettings(s);
    }
    // The field whose top-left corner lies at slide point (x, y) (one unit per pixel).
    cv::Mat FieldAt(double x, double y, double z = 0) {
        const SimSensorSettings s = m_sensor.Settings();
        m_sensor.Stage().SetPosition(x + s.width / 2.0, y + s.height / 2.0, 0);
        m_sensor.Stage().SetFocus(z, 0);
        FCObjImage img;
        m_sensor.Render(0, &img, 24);
        cv::Mat m(img.Height(), img.Width(), CV_8UC3);
        for (int r = 0; r < img.Height(); ++r)
            std::memcpy(m.ptr(r), img.GetRow(r), 3 * img.Width());
        return m;
    }
    static cv::Point2d Tissue() {
        const SpecimenRect r = CVirtualSpecimen::TissueRegion();
        return {r.left + 5000, r.top + 7000};
    }

private:
    CSimSensor m_sensor;
};
