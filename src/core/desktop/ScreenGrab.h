#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>

// What one screen showed at the moment of a grab, in device pixels.
// `pixels` holds `height` rows of `bytesPerLine` bytes, each pixel one 32-bit
// premultiplied 0xAARRGGBB value in native byte order (the layout of Qt's
// ARGB32_Premultiplied image format), so the windows can show it without a
// decode and the capture service can cut from it without a copy.
struct ScreenImage
{
    // The screen's name as the windowing system reports it ("HDMI-1").
    QString screenName;
    // The screen's place on the desktop, in device-independent coordinates.
    QRect geometry;
    // Device pixels per device-independent pixel of this image.
    qreal devicePixelRatio = 1.0;
    int width = 0;
    int height = 0;
    int bytesPerLine = 0;
    QByteArray pixels;

    bool isValid() const
    {
        return width > 0 && height > 0 && bytesPerLine >= width * 4 &&
               pixels.size() >= qsizetype(bytesPerLine) * height;
    }
};

// The images of every screen, taken together before a selection begins.
struct ScreenGrab
{
    QList<ScreenImage> screens;

    const ScreenImage *screenNamed(const QString &name) const
    {
        for (const ScreenImage &screen : screens) {
            if (screen.screenName == name)
                return &screen;
        }
        return nullptr;
    }
};
