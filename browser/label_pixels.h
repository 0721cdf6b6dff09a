#pragma once

#include <QFont>
#include <QImage>
#include <QLatin1String>
#include <QSize>
#include <QString>
#include <array>
#include <tuple>
#include <vector>

// The browser's row labels assembled from pictures of their characters, each rendered once at
// its place in the label, instead of text drawn for every row. Drawing text blends every glyph
// anew and costs more than the rest of a row's painting together.
//
// Assembly is exact only when every character stands where the whole label's text would put
// it and no two neighbouring places share a pixel; for a font where that fails, each label is
// rendered whole, which is as exact and as slow as drawing it.
class LabelPixels {
public:
    // Everything that decides how a label looks.
    struct Look {
        QSize cell;
        int scale = 0;
        QFont font;
        int dpiX = 0;
        int dpiY = 0;
        QRgb background = 0;
        QRgb text = 0;
        bool operator==(const Look &other) const
        {
            return std::tie(cell, scale, font, dpiX, dpiY, background, text) ==
                   std::tie(other.cell, other.scale, other.font, other.dpiX, other.dpiY,
                            other.background, other.text);
        }
        bool operator!=(const Look &other) const { return !(*this == other); }
    };

    // The label's picture, of the cell's device size, for the look. The characters' pictures
    // are made after the first hundred labels of a look and length, and again when either
    // changes.
    const QImage &label(const Look &look, QLatin1String text);
    // Whether the labels are now put together from their characters.
    bool assemblesFromCharacters() const { return m_assembles; }

private:
    // The device columns that characters at one place of a label may ink, and each one's
    // pixels across those columns.
    struct Place {
        int left = 0;
        int right = -1;
        std::array<QImage, 128> characters;
    };

    void prepare();
    QImage render(const QString &text) const;
    bool assemble(QLatin1String text);

    Look m_look;
    int m_length = -1;
    int m_wholeLabels = 0;
    bool m_prepared = false;
    bool m_assembles = false;
    std::vector<Place> m_places;
    // The character each place of an assembled label shows; empty when the picture holds no
    // assembled label.
    static constexpr int NoCharacter = -1;
    std::vector<int> m_shown;
    QImage m_blank;
    QImage m_label;
};

// An unfilled picture of `size` at `scale` device pixels to the pixel, whose text comes out as
// on a screen of dpiX by dpiY dots per inch.
QImage TextPicture(QSize size, int scale, int dpiX, int dpiY);

// Draws one line of text into the cell, left-aligned and vertically centred, as the browser
// draws its labels.
class QPainter;
class QRect;
void DrawRowLabel(QPainter *canvas, const QRect &cell, const QString &text);
// Where the top of a line of text in the painter's font stands when it is vertically centred in
// the cell as the toolkit centres it.
qreal CentredTextTop(const QPainter &canvas, const QRect &cell);
// Whether text drawn at a point, with the top from CentredTextTop, comes out as the toolkit's
// own centred line: where every logical pixel is a whole number of device pixels.
bool TextAtPointLooksLaidOut(const QPainter &canvas);
