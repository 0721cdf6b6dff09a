#include "browser/label_pixels.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// Every character a label is made of.
const QString LabelAlphabet = QStringLiteral(" 0123456789abcdef[]");

constexpr int WholeLabelsBeforeAssembling = 100;

// Columns in which a picture differs from the blank one.
void InkedColumns(const QImage &picture, const QImage &blank, int &left, int &right)
{
    for (int y = 0; y < picture.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
        const auto *empty = reinterpret_cast<const QRgb *>(blank.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (line[x] != empty[x]) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
}

// A label that only the whole rendering shows exactly: every character of the alphabet at
// every place, beside itself and beside the others.
std::vector<QString> ProbeLabels(int length)
{
    std::vector<QString> probes;
    for (int shift = 0; shift < LabelAlphabet.size(); ++shift) {
        QString same(length, LabelAlphabet[shift]);
        QString mixed;
        for (int i = 0; i < length; ++i)
            mixed += LabelAlphabet[(shift + i) % LabelAlphabet.size()];
        probes.push_back(same);
        probes.push_back(mixed);
    }
    return probes;
}

// The cell's background in device pixels, at the resolution the text is drawn for.
QImage Blank(const LabelPixels::Look &look)
{
    QImage blank = TextPicture(look.cell, look.scale, look.dpiX, look.dpiY);
    blank.fill(look.background);
    return blank;
}

} // namespace

// A font's pixel size follows the resolution of the device it draws on, so the picture takes
// the screen's for its text to come out as the grid's own would.
QImage TextPicture(QSize size, int scale, int dpiX, int dpiY)
{
    constexpr double InchesPerMetre = 1 / 0.0254;
    QImage picture(size * scale, QImage::Format_RGB32);
    picture.setDevicePixelRatio(scale);
    picture.setDotsPerMeterX(qRound(dpiX * InchesPerMetre));
    picture.setDotsPerMeterY(qRound(dpiY * InchesPerMetre));
    return picture;
}

// A baseline worked out here spares the line layout that a rectangle with alignment flags
// costs every label. It is the layout's own: the line's height centred in the cell without
// rounding, as a fraction of a pixel decides on which device line the text lands. Where a
// logical pixel is a fraction of device pixels, the glyphs of text drawn at a point are placed
// differently from those of a laid out line, so the toolkit lays the label out there.
void DrawRowLabel(QPainter *canvas, const QRect &cell, const QString &text)
{
    if (!TextAtPointLooksLaidOut(*canvas)) {
        canvas->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, text);
        return;
    }
    const QFontMetricsF metrics(canvas->font(), canvas->device());
    const qreal top = cell.top() + (cell.height() - metrics.height()) / 2;
    canvas->drawText(QPointF(cell.left(), top + metrics.ascent()), text);
}

qreal CentredTextTop(const QPainter &canvas, const QRect &cell)
{
    const QFontMetricsF metrics(canvas.font(), canvas.device());
    return cell.top() + (cell.height() - metrics.height()) / 2;
}

bool TextAtPointLooksLaidOut(const QPainter &canvas)
{
    const qreal scale = canvas.deviceTransform().m11();
    return scale == std::floor(scale);
}

// Rendering the characters costs as much as a few pages of whole labels, which a window that
// only shows its first page, as at start-up, would pay for nothing.
const QImage &LabelPixels::label(const Look &look, QLatin1String text)
{
    const auto length = static_cast<int>(text.size());
    if (look != m_look || length != m_length) {
        m_look = look;
        m_length = length;
        m_prepared = false;
        m_assembles = false;
        m_wholeLabels = 0;
        m_blank = Blank(look);
        m_shown.clear();
    }
    if (!m_prepared && ++m_wholeLabels > WholeLabelsBeforeAssembling)
        prepare();
    if (!m_assembles || !assemble(text)) {
        m_label = render(QString(text));
        m_shown.clear();
    }
    return m_label;
}

QImage LabelPixels::render(const QString &text) const
{
    QImage picture = m_blank.copy();
    QPainter painter(&picture);
    painter.setFont(m_look.font);
    painter.setPen(QColor::fromRgb(m_look.text));
    DrawRowLabel(&painter, QRect(QPoint(0, 0), m_look.cell), text);
    return picture;
}

// A character's place in a label is where a run of blanks as long as the label before it puts
// it, which holds when every character of the alphabet is as wide as the blank.
void LabelPixels::prepare()
{
    m_prepared = true;
    m_assembles = false;
    m_places.assign(m_length, Place());
    m_shown.clear();
    const QFontMetricsF metrics(m_look.font, &m_blank);
    const qreal advance = metrics.horizontalAdvance(QLatin1Char(' '));
    for (const QChar character : LabelAlphabet)
        if (metrics.horizontalAdvance(character) != advance)
            return;
    int inkedBefore = -1;
    for (int place = 0; place < m_length; ++place) {
        Place &at = m_places[place];
        at.left = m_blank.width();
        std::array<QImage, 128> whole;
        for (const QChar character : LabelAlphabet) {
            whole[character.unicode()] = render(QString(place, QLatin1Char(' ')) + character);
            InkedColumns(whole[character.unicode()], m_blank, at.left, at.right);
        }
        if (at.left > at.right)
            continue;
        if (at.left <= inkedBefore)
            return;
        inkedBefore = at.right;
        for (const QChar character : LabelAlphabet)
            at.characters[character.unicode()] = whole[character.unicode()].copy(
                at.left, 0, at.right - at.left + 1, m_blank.height());
    }
    m_assembles = true;
    for (const QString &probe : ProbeLabels(m_length)) {
        const QByteArray latin1 = probe.toLatin1();
        if (!assemble(QLatin1String(latin1)) || m_label != render(probe)) {
            m_assembles = false;
            return;
        }
    }
}

// Neighbouring rows' labels share most characters, so only the places whose character changed
// are written; the columns between places keep the blank they got when the picture was made.
bool LabelPixels::assemble(QLatin1String text)
{
    static const std::array<bool, 128> inAlphabet = [] {
        std::array<bool, 128> known{};
        for (const QChar character : LabelAlphabet)
            known[character.unicode()] = true;
        return known;
    }();
    if (m_shown.size() != m_places.size()) {
        m_label = m_blank.copy();
        m_shown.assign(m_places.size(), NoCharacter);
    }
    uchar *const bits = m_label.bits();
    const qsizetype stride = m_label.bytesPerLine();
    for (int place = 0; place < static_cast<int>(m_places.size()); ++place) {
        const auto code = static_cast<unsigned char>(text[place].toLatin1());
        if (code >= inAlphabet.size() || !inAlphabet[code]) {
            m_shown.clear();
            return false;
        }
        const Place &at = m_places[place];
        if (at.left > at.right || m_shown[place] == code)
            continue;
        const QImage &pixels = at.characters[code];
        const uchar *from = pixels.constBits();
        const qsizetype fromStride = pixels.bytesPerLine();
        const auto lineBytes = static_cast<size_t>(pixels.width()) * sizeof(QRgb);
        uchar *to = bits + at.left * sizeof(QRgb);
        for (int y = 0, lines = pixels.height(); y < lines; ++y, from += fromStride, to += stride)
            std::memcpy(to, from, lineBytes);
        m_shown[place] = code;
    }
    return true;
}
