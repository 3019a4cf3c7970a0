#pragma once
// An element manager wired to a recording window and prompt, with mouse helpers in window
// pixels, as a display window would send them.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <initializer_list>
#include <vector>

#include "document/prompt.h"
#include "overlay/element_manager.h"
#include "overlay/elements.h"

class RecordingWindow : public IGVLWindow {
public:
    void InvalidateRect(const QRect& rc, bool erase) override {
        rects.push_back(rc);
        erases.push_back(erase);
    }
    void InvalidateAll() override { ++all; }
    void RulerChanged() override { ++rulerChanged; }

    std::vector<QRect> rects;
    std::vector<bool> erases;
    int all = 0;
    int rulerChanged = 0;
};

class OverlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        mgr.SetWindow(&wnd);
        mgr.SetPrompt(&prompt);
    }

    void Down(int tool, QPoint p) { mgr.OnLButtonDown(0, tool, p); }
    void Move(int tool, QPoint p) { mgr.OnMouseMove(0, tool, p); }
    void Up(int tool, QPoint p) { mgr.OnLButtonUp(0, tool, p); }
    void RDown(int tool, QPoint p) { mgr.OnRButtonDown(0, tool, p); }
    void Click(int tool, QPoint p) {
        Down(tool, p);
        Up(tool, p);
    }
    // Press at the first point, move through the others, release at the last.
    void Drag(int tool, std::initializer_list<QPoint> path) {
        const QPoint* p = path.begin();
        Down(tool, *p);
        for (++p; p != path.end(); ++p) Move(tool, *p);
        Up(tool, *(path.end() - 1));
    }

    int Count() const { return mgr.ElementCount(); }
    CGVLShape* Last() const { return mgr.GetElement(Count() - 1); }
    template <class T>
    T* LastAs() const {
        return dynamic_cast<T*>(Last());
    }
    static std::vector<QPoint> Points(const CGVLShape* e) {
        std::vector<QPoint> v;
        for (int i = 0; i < e->PointCount(); ++i) v.push_back(*e->GetPoint(i));
        return v;
    }
    void SetPerPixel(double xpp, double ypp, int unit = 0) {
        GVLCalibration c;
        c.m_unit_Unit = unit;
        c.m_unit_dcxPerPixel = xpp;
        c.m_unit_dcyPerPixel = ypp;
        mgr.SetCalibration(c);
    }
    // The overlay drawn over a black window.
    QImage Render(int w = 640, int h = 480) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(Qt::black);
        QPainter p(&img);
        mgr.Draw(p, w, h);
        p.end();
        return img;
    }

    CGVLElemMgr mgr;
    RecordingWindow wnd;
    CRecordingPrompt prompt;
};

inline QRgb Rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}
inline QRgb PixelAt(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xFFFFFF;
}
