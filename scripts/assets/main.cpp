// velora-assets: draws the skin images and synthesises the sound files of the
// softphone. The outputs are committed; run this again after changing the look
// or the sounds:
//
//   QT_QPA_PLATFORM=offscreen velora-assets <images-dir> <sounds-dir> [<qrc-file> [<icon-theme-dir>]]
//
// (or `cmake --build <build-dir> --target regen-assets`).
//
// Style sheets wear the images with `border-image`, which stretches an image over
// the whole widget, so each image is drawn at the pixel size of its widget.
//
//   image                          size     worn by
//   -----------------------------  -------  ---------------------------------------------
//   main.png                       291x411  MainWindow mainFrame
//   close.png                       61x31   closeButton (main), siteCloseButton (site)
//   logo.png                       203x50   logoButton (main); the site's 151x51 logo
//                                           button shows it squeezed
//   screen.png                     271x101  screenGroupBox
//   online.png, offline.png         21x21   onlineStatus (registration lamp)
//   lock.png                        16x16   encryptionMark (media encrypted), left of the status
//   delete.png, delete_clicked.png  31x21   deleteButton
//   digital*.png                    86x35   the twelve dial-pad keys (three keys and two
//                                           gaps of 6 in a 271 row, minimum height 35)
//   dialog*.png                     63x35   dialogButton (four keys in a 271 row); also
//                                           worn, stretched, by siteDialogButton
//   pause*.png, transfer*.png       63x35   pauseButton, transferButton
//   terminate*.png                  63x35   terminateButton; also siteTerminateButton
//   mute*.png                       34x20   muteButton, in the screen's free corner in a call
//   record*.png                     34x20   recordButton, in the screen's other corner in a call
//   site.png                       421x341  RemoteSite siteFrame
//   site_simple.png                421x163  the incoming-call popup's siteFrame
//   site-screen.png                401x201  the site's screen frame behind the web view
//   site_detail*.png               110x41   siteDetailButton (a third of the 401 row less
//                                           the 10 px side margins, height 41)
//   site_dialog*.png,              110x41   call / hang-up keys at the site's key size
//   site_terminate*.png
//   income.png, declined.png,       24x24   history list status column (50 x 35 cells)
//   out.png, out_failed.png                 (out_failed: an outgoing call nobody answered)
//   quality_poor.png                16x16   history list quality column: a call that sounded poor
//   icon.png                       256x256  window and tray icon; the same mark at 16 to 256 px
//                                           goes to the icon theme (share/icons/hicolor)
//
// Sounds: 16-bit PCM mono WAV. DTMF keys 8000 Hz, 150 ms; ring, ring-back,
// hang-up and busy in the Japanese patterns at 8000 Hz; hold music 16000 Hz,
// an 8 s loop that wraps around seamlessly.

#include "sounds.h"

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QStringList>
#include <QTextStream>
#include <QTransform>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---------------------------------------------------------------------------
// Images
// ---------------------------------------------------------------------------

QString g_imageDir;
QStringList g_written;

QImage newImage(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    img.setDotsPerMeterX(3780); // 96 dpi, so the files do not depend on the screen
    img.setDotsPerMeterY(3780);
    return img;
}

bool save(const QImage& img, const QString& name)
{
    const QString path = g_imageDir + QLatin1Char('/') + name;
    if (!img.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    g_written << name;
    return true;
}

QColor mix(const QColor& a, const QColor& b, double t)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t,
                            a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

void begin(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QPainterPath rounded(const QRectF& r, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// Turns a centre line into a filled outline, so every glyph can be filled and shadowed alike.
QPainterPath stroked(const QPainterPath& centre, qreal width)
{
    QPainterPathStroker s;
    s.setWidth(width);
    s.setCapStyle(Qt::RoundCap);
    s.setJoinStyle(Qt::RoundJoin);
    QPainterPath out = s.createStroke(centre);
    out.setFillRule(Qt::WindingFill);
    return out;
}

// Scales a path uniformly to fit into box and centres it there.
QPainterPath fit(const QPainterPath& path, const QRectF& box)
{
    const QRectF b = path.boundingRect();
    const qreal k = std::min(box.width() / b.width(), box.height() / b.height());
    QTransform t;
    t.translate(box.center().x(), box.center().y());
    t.scale(k, k);
    t.translate(-b.center().x(), -b.center().y());
    return t.map(path);
}

// --- Glyphs. Each returns a filled outline fitted into the given box. ---

// A telephone handset lying flat, ear and mouth pieces pointing down (the hang-up pose).
QPainterPath handsetShape()
{
    QPainterPath p;
    p.moveTo(-50, 5);
    p.cubicTo(-32, -24, 32, -24, 50, 5);
    p.lineTo(49, 18);
    p.quadTo(48.5, 23, 44, 23);
    p.lineTo(31, 23);
    p.quadTo(27, 23, 26.5, 19);
    p.lineTo(25.5, 10);
    p.cubicTo(10, 5, -10, 5, -25.5, 10);
    p.lineTo(-26.5, 19);
    p.quadTo(-27, 23, -31, 23);
    p.lineTo(-44, 23);
    p.quadTo(-48.5, 23, -49, 18);
    p.closeSubpath();
    return p;
}

QPainterPath glyphHangUp(const QRectF& box)
{
    return fit(handsetShape(), box);
}

// The handset raised to the ear: back towards the lower left, pieces towards the upper right.
QPainterPath glyphCall(const QRectF& box)
{
    QTransform t;
    t.rotate(225);
    return fit(t.map(handsetShape()), box);
}

QPainterPath glyphPause(const QRectF& box)
{
    const qreal s = std::min(box.width(), box.height());
    const QRectF sq(box.center().x() - s / 2, box.center().y() - s / 2, s, s);
    const qreal barW = s * 0.3, gap = s * 0.22, barH = s * 0.92;
    const qreal x0 = sq.center().x() - gap / 2 - barW;
    const qreal y0 = sq.center().y() - barH / 2;
    QPainterPath p = rounded(QRectF(x0, y0, barW, barH), barW * 0.3);
    p.addPath(rounded(QRectF(x0 + barW + gap, y0, barW, barH), barW * 0.3));
    return p;
}

QPainterPath glyphArrowRight(const QRectF& box, qreal width)
{
    const QRectF r = box.adjusted(width / 2, width / 2, -width / 2, -width / 2);
    const qreal y = r.center().y(), head = std::min(r.height() / 2, r.width() * 0.45);
    QPainterPath c;
    c.moveTo(r.left(), y);
    c.lineTo(r.right(), y);
    c.moveTo(r.right() - head, y - head);
    c.lineTo(r.right(), y);
    c.lineTo(r.right() - head, y + head);
    return stroked(c, width);
}

// Backspace: a tag pointing left with a cross in it. Drawn as outlines of the given width.
QPainterPath glyphBackspace(const QRectF& box, qreal width)
{
    const qreal h = box.height(), w = std::min(box.width(), h * 1.45);
    const QRectF r(box.center().x() - w / 2, box.top(), w, h);
    QPainterPath c;
    c.moveTo(r.left() + h * 0.42, r.top());
    c.lineTo(r.right(), r.top());
    c.lineTo(r.right(), r.bottom());
    c.lineTo(r.left() + h * 0.42, r.bottom());
    c.lineTo(r.left(), r.center().y());
    c.closeSubpath();
    const qreal cx = r.left() + h * 0.42 + (w - h * 0.42) * 0.48, cy = r.center().y(), d = h * 0.2;
    c.moveTo(cx - d, cy - d);
    c.lineTo(cx + d, cy + d);
    c.moveTo(cx + d, cy - d);
    c.lineTo(cx - d, cy + d);
    return stroked(c, width);
}

QPainterPath glyphCross(const QRectF& box, qreal width)
{
    QPainterPath c;
    c.moveTo(box.topLeft());
    c.lineTo(box.bottomRight());
    c.moveTo(box.topRight());
    c.lineTo(box.bottomLeft());
    return stroked(c, width);
}

// A page with a folded corner and three lines of text: "details".
QPainterPath glyphPage(const QRectF& box, qreal width)
{
    const qreal h = box.height(), w = h * 0.78;
    const QRectF r(box.center().x() - w / 2 + width / 2, box.top() + width / 2, w - width, h - width);
    const qreal fold = r.width() * 0.38;
    QPainterPath c;
    c.moveTo(r.left(), r.top());
    c.lineTo(r.right() - fold, r.top());
    c.lineTo(r.right(), r.top() + fold);
    c.lineTo(r.right(), r.bottom());
    c.lineTo(r.left(), r.bottom());
    c.closeSubpath();
    c.moveTo(r.right() - fold, r.top());
    c.lineTo(r.right() - fold, r.top() + fold);
    c.lineTo(r.right(), r.top() + fold);
    for (int i = 0; i < 3; ++i) {
        const qreal y = r.top() + r.height() * (0.45 + 0.17 * i);
        c.moveTo(r.left() + r.width() * 0.25, y);
        c.lineTo(r.right() - r.width() * (i == 2 ? 0.4 : 0.25), y);
    }
    return stroked(c, width);
}

// Diagonal arrow for the history list. incoming: points to the lower left.
QPainterPath glyphDiagonalArrow(const QRectF& box, bool incoming, qreal width)
{
    const QPointF tr = box.topRight(), bl = box.bottomLeft();
    const qreal head = box.width() * 0.62;
    QPainterPath c;
    if (incoming) {
        c.moveTo(tr);
        c.lineTo(bl);
        c.moveTo(bl + QPointF(0, -head));
        c.lineTo(bl);
        c.lineTo(bl + QPointF(head, 0));
    } else {
        c.moveTo(bl);
        c.lineTo(tr);
        c.moveTo(tr + QPointF(-head, 0));
        c.lineTo(tr);
        c.lineTo(tr + QPointF(0, head));
    }
    return stroked(c, width);
}

// Fills a glyph with a soft one-pixel shadow (embossed look) underneath.
void drawGlyph(QPainter& p, const QPainterPath& glyph, const QColor& color, const QColor& shadow)
{
    p.setPen(Qt::NoPen);
    if (shadow.isValid() && shadow.alpha() > 0) {
        p.setBrush(shadow);
        p.drawPath(glyph.translated(0, 1));
    }
    p.setBrush(color);
    p.drawPath(glyph);
}

// --- Keys ---

enum class KeyState { Normal, Hover, Pressed };

struct KeyColors
{
    QColor top, bottom, lip, glyph, glyphShadow;
};

// Paints a rounded key filling the whole image: a coloured face on a darker lip that
// gives it depth. Hover lightens the face; pressed darkens it and pushes it down onto
// the lip. Returns the face rectangle, for the glyph.
QRectF drawKey(QPainter& p, const QSizeF& size, const KeyColors& c, KeyState state, qreal radius)
{
    const qreal lip = size.height() >= 40 ? 3.0 : 2.0;
    const QRectF outer(0.5, 0.5, size.width() - 1, size.height() - 1);
    QRectF face = outer.adjusted(0, 0, 0, -lip);
    QColor top = c.top, bottom = c.bottom;
    if (state == KeyState::Hover) {
        top = mix(top, Qt::white, 0.25);
        bottom = mix(bottom, Qt::white, 0.2);
    } else if (state == KeyState::Pressed) {
        face.translate(0, lip - 0.5);
        const QColor t = mix(bottom, Qt::black, 0.1);
        bottom = mix(top, Qt::black, 0.06);
        top = t;
    }

    // Lip and outline.
    p.setPen(QPen(QColor(0, 0, 0, 150), 1));
    p.setBrush(c.lip);
    p.drawRoundedRect(outer, radius, radius);

    // Face.
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    const QPainterPath facePath = rounded(face.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(facePath);

    if (state == KeyState::Pressed) {
        // Inner shadow along the top edge.
        p.save();
        p.setClipPath(facePath);
        QLinearGradient sh(face.topLeft(), face.topLeft() + QPointF(0, 6));
        sh.setColorAt(0, QColor(0, 0, 0, 70));
        sh.setColorAt(1, QColor(0, 0, 0, 0));
        p.fillRect(face, sh);
        p.restore();
    } else {
        // Light catching the upper rim.
        QLinearGradient hl(face.topLeft(), face.bottomLeft());
        hl.setColorAt(0, QColor(255, 255, 255, state == KeyState::Hover ? 220 : 170));
        hl.setColorAt(0.45, QColor(255, 255, 255, 0));
        p.setPen(QPen(QBrush(hl), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(face.adjusted(1, 1, -1, -1), radius - 1, radius - 1);
    }
    return face;
}

using GlyphFn = std::function<QPainterPath(const QRectF& box)>;

// Draws one key in its three states. The button draws its own caption centred on the
// key, so the glyph sits small at the left; glyphBox is relative to the face's top left.
void keySet(const QString& base, const QSize& size, const KeyColors& c, qreal radius, const GlyphFn& glyph,
            const QRectF& glyphBox, bool withHover = true)
{
    const struct
    {
        KeyState state;
        const char* suffix;
    } states[] = {{KeyState::Normal, ""}, {KeyState::Hover, "_hover"}, {KeyState::Pressed, "_clicked"}};
    for (const auto& s : states) {
        if (s.state == KeyState::Hover && !withHover)
            continue;
        QImage img = newImage(size.width(), size.height());
        QPainter p(&img);
        begin(p);
        const QRectF face = drawKey(p, size, c, s.state, radius);
        if (glyph) {
            QColor col = c.glyph;
            if (s.state == KeyState::Pressed)
                col = mix(col, Qt::black, 0.08);
            drawGlyph(p, glyph(glyphBox.translated(face.topLeft())), col, c.glyphShadow);
        }
        p.end();
        save(img, base + QLatin1String(s.suffix) + QLatin1String(".png"));
    }
}

// Face top, face bottom, lip, glyph, glyph shadow (#aarrggbb where translucent).
const KeyColors kDigitKey{"#fbfcfd", "#dde2e9", "#9ea8b4", QColor(), QColor()};
const KeyColors kGreenKey{"#62de8b", "#2fbd62", "#1c8443", "#f5ffffff", "#5a004619"};
const KeyColors kRedKey{"#ff8077", "#e9473c", "#a92c24", "#f5ffffff", "#5a5a0000"};
const KeyColors kHoldKey{"#f6f8fb", "#d3dce7", "#95a3b4", "#e08a00", "#c8ffffff"};
const KeyColors kTransferKey{"#f6f8fb", "#d3dce7", "#95a3b4", "#2a78cc", "#c8ffffff"};

// --- The phone bodies ---

const QColor kBodyTop("#3a414b");
const QColor kBodyBottom("#1a1d22");

// Dark body with rounded corners, filling the whole image.
void drawBody(QPainter& p, const QSizeF& size)
{
    const QRectF r(0.5, 0.5, size.width() - 1, size.height() - 1);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kBodyTop);
    g.setColorAt(1, kBodyBottom);
    p.setPen(QPen(QColor("#0b0d10"), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 18, 18);

    // A faint sheen on the upper rim.
    QLinearGradient hl(r.topLeft(), r.bottomLeft());
    hl.setColorAt(0, QColor(255, 255, 255, 70));
    hl.setColorAt(0.12, QColor(255, 255, 255, 0));
    p.setPen(QPen(QBrush(hl), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 17, 17);
}

// Light top plate that carries the logo, the version text and the small buttons.
void drawTopPlate(QPainter& p, const QRectF& r)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor("#fafbfc"));
    g.setColorAt(1, QColor("#dfe4ea"));
    p.setPen(QPen(QColor(0, 0, 0, 160), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 12, 12);
    p.setPen(QPen(QColor(255, 255, 255, 200), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 11, 11);
}

// Recessed dark bezel that a screen image sits in.
void drawBezel(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(QColor(255, 255, 255, 28), 1));
    p.setBrush(QColor("#111316"));
    p.drawRoundedRect(r, 10, 10);
}

// A hairline groove: dark line with a light line under it.
void drawGroove(QPainter& p, qreal x1, qreal x2, qreal y)
{
    p.setPen(QPen(QColor(0, 0, 0, 120), 1));
    p.drawLine(QPointF(x1, y), QPointF(x2, y));
    p.setPen(QPen(QColor(255, 255, 255, 22), 1));
    p.drawLine(QPointF(x1, y + 1), QPointF(x2, y + 1));
}

// Light, slightly cool display glass with an inner shadow at the top.
void drawScreen(QPainter& p, const QSizeF& size)
{
    const QRectF r(0.5, 0.5, size.width() - 1, size.height() - 1);
    const QPainterPath path = rounded(r, 8);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor("#f3f7fa"));
    g.setColorAt(1, QColor("#d8e2ea"));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(path);

    p.save();
    p.setClipPath(path);
    QLinearGradient sh(r.topLeft(), r.topLeft() + QPointF(0, 7));
    sh.setColorAt(0, QColor(0, 0, 0, 55));
    sh.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(r, sh);
    p.restore();

    p.setPen(QPen(QColor("#6f7d8a"), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void makeMain()
{
    const QSize size(291, 411);
    QImage img = newImage(size.width(), size.height());
    QPainter p(&img);
    begin(p);
    drawBody(p, size);
    drawTopPlate(p, QRectF(6.5, 5.5, 278, 73)); // logo, version, 設定/履歴 buttons
    drawBezel(p, QRectF(7.5, 79.5, 276, 106));  // screenGroupBox sits at 10,82 271x101
    drawGroove(p, 22, 269, 353.5);              // between the dial pad and the call keys
    p.end();
    save(img, "main.png");
}

// The simple frame is a light card: it carries the incoming-call popup (421x163), whose caller's
// name and number are drawn in dark grey, so the card must be light where the text sits.
void makeSimpleSite()
{
    const QSize size(421, 163);
    QImage img = newImage(size.width(), size.height());
    QPainter p(&img);
    begin(p);
    const QRectF r(1.5, 1.5, size.width() - 3, size.height() - 3);
    const QPainterPath path = rounded(r, 12);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor("#fbfcfd"));
    g.setColorAt(1, QColor("#dfe6ec"));
    p.setPen(QPen(QColor("#3b4650"), 2));
    p.setBrush(g);
    p.drawPath(path);
    p.setPen(QPen(QColor("#c5ced6"), 1));
    p.drawLine(QPointF(16, 52.5), QPointF(size.width() - 16, 52.5));
    p.end();
    save(img, "site_simple.png");
}

void makeSite(bool simple)
{
    if (simple) {
        makeSimpleSite();
        return;
    }
    const QSize size(421, 341);
    QImage img = newImage(size.width(), size.height());
    QPainter p(&img);
    begin(p);
    drawBody(p, size);
    drawTopPlate(p, QRectF(6.5, 5.5, 408, 59)); // logo button 14,10 151x51; close 350,0
    drawBezel(p, QRectF(7.5, 67.5, 406, 206));  // screen frame at 10,70 401x201
    if (!simple) {
        // Tray under the three keys (row at 10,270 401x61).
        p.setPen(QPen(QColor(255, 255, 255, 20), 1));
        p.setBrush(QColor(0, 0, 0, 70));
        p.drawRoundedRect(QRectF(12.5, 279.5, 396, 51), 10, 10);
    }
    p.end();
    save(img, simple ? "site_simple.png" : "site.png");
}

void makeScreen()
{
    const QSize size(271, 101);
    QImage img = newImage(size.width(), size.height());
    QPainter p(&img);
    begin(p);
    drawScreen(p, size);
    // Faint rule under the status row (lamp, extension, status text).
    p.setPen(QPen(QColor(0, 0, 0, 28), 1));
    p.drawLine(QPointF(10, 28.5), QPointF(261, 28.5));
    p.setPen(QPen(QColor(255, 255, 255, 160), 1));
    p.drawLine(QPointF(10, 29.5), QPointF(261, 29.5));
    p.end();
    save(img, "screen.png");
}

void makeSiteScreen()
{
    const QSize size(401, 201);
    QImage img = newImage(size.width(), size.height());
    QPainter p(&img);
    begin(p);
    drawScreen(p, size);
    // The page area (web view at 10,10 381x181).
    p.setPen(QPen(QColor("#9aa7b3"), 1));
    p.setBrush(QColor("#fbfcfd"));
    p.drawRoundedRect(QRectF(9.5, 9.5, 382, 182), 3, 3);
    p.end();
    save(img, "site-screen.png");
}

void makeLamp(bool online)
{
    QImage img = newImage(21, 21);
    QPainter p(&img);
    begin(p);
    const QPointF c(10.5, 10.5);
    const QColor base = online ? QColor("#22c55e") : QColor("#9aa3ad");
    const QColor rim = online ? QColor("#137a3a") : QColor("#66707b");
    // Socket.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(c + QPointF(0, 0.6), 9.6, 9.6);
    // Lens.
    QRadialGradient g(c + QPointF(-2.2, -2.6), 10.5);
    g.setColorAt(0, mix(base, Qt::white, 0.65));
    g.setColorAt(0.45, base);
    g.setColorAt(1, mix(base, Qt::black, 0.3));
    p.setPen(QPen(rim, 1));
    p.setBrush(g);
    p.drawEllipse(c, 8.5, 8.5);
    // Specular highlight.
    QRadialGradient s(c + QPointF(-2.5, -3.5), 4.2);
    s.setColorAt(0, QColor(255, 255, 255, 210));
    s.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(s);
    p.drawEllipse(c + QPointF(-2.5, -3.5), 4.2, 3.2);
    p.end();
    save(img, online ? "online.png" : "offline.png");
}

// The padlock beside the call status while the media is encrypted: the lamp's green in a body
// with the same lens shading, a steel shackle, a dark keyhole.
void makeLock()
{
    QImage img = newImage(16, 16);
    QPainter p(&img);
    begin(p);
    const QColor base("#22c55e");
    const QColor rim("#137a3a");
    QPainterPath shackle;
    shackle.moveTo(4.8, 8);
    shackle.lineTo(4.8, 5.2);
    shackle.arcTo(QRectF(4.8, 1.4, 6.4, 7.6), 180, -180);
    shackle.lineTo(11.2, 8);
    p.setPen(QPen(QColor("#66707b"), 2.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shackle);
    const QRectF body(2.5, 7, 11, 8.2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawPath(rounded(body.translated(0, 0.6), 2));
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    g.setColorAt(0, mix(base, Qt::white, 0.45));
    g.setColorAt(0.5, base);
    g.setColorAt(1, mix(base, Qt::black, 0.3));
    p.setPen(QPen(rim, 1));
    p.setBrush(g);
    p.drawPath(rounded(body, 2));
    p.setPen(Qt::NoPen);
    p.setBrush(mix(rim, Qt::black, 0.35));
    p.drawEllipse(QPointF(8, 10.4), 1.3, 1.3);
    p.drawRect(QRectF(7.45, 10.6, 1.1, 2.6));
    p.end();
    save(img, "lock.png");
}

void makeClose()
{
    QImage img = newImage(61, 31);
    QPainter p(&img);
    begin(p);
    // The button hangs from the top edge of the frame; keep the disc clear of the plate's rim.
    const QPointF c(30.5, 16.5);
    QLinearGradient g(c - QPointF(0, 9), c + QPointF(0, 9));
    g.setColorAt(0, QColor("#ffffff"));
    g.setColorAt(1, QColor("#d9dfe6"));
    p.setPen(QPen(QColor("#8593a2"), 1));
    p.setBrush(g);
    p.drawEllipse(c, 9, 9);
    drawGlyph(p, glyphCross(QRectF(c - QPointF(3.4, 3.4), QSizeF(6.8, 6.8)), 1.8), QColor("#4a5562"),
              QColor(255, 255, 255, 180));
    p.end();
    save(img, "close.png");
}

void makeDelete(bool pressed)
{
    QImage img = newImage(31, 21);
    QPainter p(&img);
    begin(p);
    if (pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 60, 80, 45));
        p.drawRoundedRect(QRectF(1, 1, 29, 19), 6, 6);
    }
    const QColor col = pressed ? QColor("#1f2933") : QColor("#4b5866");
    drawGlyph(p, glyphBackspace(QRectF(6, 5.5, 19, 10.5).translated(0, pressed ? 0.5 : 0), 1.6), col,
              QColor());
    p.end();
    save(img, pressed ? "delete_clicked.png" : "delete.png");
}

// The product mark: a rounded square in teal-to-blue with a white handset.
void drawMark(QPainter& p, const QRectF& r, qreal radius)
{
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor("#2fd0a8"));
    g.setColorAt(1, QColor("#1d6fd6"));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, radius, radius);
    // Gloss on the upper half.
    QLinearGradient gl(r.topLeft(), r.bottomLeft());
    gl.setColorAt(0, QColor(255, 255, 255, 70));
    gl.setColorAt(0.5, QColor(255, 255, 255, 0));
    p.setBrush(gl);
    p.drawRoundedRect(r, radius, radius);
    const qreal m = r.width() * 0.22;
    drawGlyph(p, glyphCall(r.adjusted(m, m, -m, -m)), Qt::white, QColor(0, 40, 90, 70));
}

void makeLogo()
{
    QImage img = newImage(203, 50);
    QPainter p(&img);
    begin(p);
    // The logo button sits over the top plate; the 設定 button covers its lower right
    // corner, so everything stays in the upper left.
    drawMark(p, QRectF(16, 9, 30, 30), 8);
    QFont f(QStringLiteral("Noto Sans CJK JP"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(25);
    f.setWeight(QFont::Bold);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
    QPainterPath text;
    text.addText(0, 0, f, QStringLiteral("Velora"));
    const QRectF tb = text.boundingRect();
    // Cap height centred on the mark.
    text.translate(55 - tb.left(), 24 - tb.center().y());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor("#1d2530"));
    p.drawPath(text);
    p.end();
    save(img, "logo.png");
}

// The application icon at any size: drawn on the 256 px grid and scaled, so that every size
// shows the same mark rather than a resampled bitmap.
QImage drawIcon(int size)
{
    QImage img = newImage(size, size);
    QPainter p(&img);
    begin(p);
    p.scale(size / 256.0, size / 256.0);
    // Soft shadow.
    for (int i = 0; i < 8; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 9));
        const qreal d = 8 - i;
        p.drawRoundedRect(QRectF(14 - d, 18 - d, 228 + 2 * d, 228 + 2 * d), 52 + d, 52 + d);
    }
    drawMark(p, QRectF(14, 12, 228, 228), 52);
    p.end();
    return img;
}

void makeIcon()
{
    save(drawIcon(256), "icon.png");
}

// The desktop's icon theme: <dir>/hicolor/<n>x<n>/apps/velora-softphone.png.
bool makeThemeIcons(const QString& dir)
{
    bool ok = true;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(dir).arg(size);
        const QString path = folder + QStringLiteral("/velora-softphone.png");
        if (!QDir().mkpath(folder) ||
            !drawIcon(size).convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ok = false;
        }
    }
    return ok;
}

// unanswered: an outgoing call nobody answered, the arrow moved up and a small red cross where it
// starts.
void makeHistoryIcon(const QString& name, const QColor& color, bool incoming, bool unanswered = false)
{
    QImage img = newImage(24, 24);
    QPainter p(&img);
    begin(p);
    p.setPen(Qt::NoPen);
    p.setBrush(mix(color, Qt::white, 0.85));
    p.drawEllipse(QRectF(0.5, 0.5, 23, 23));
    const QRectF arrow = unanswered ? QRectF(9.5, 6.5, 8, 8) : QRectF(7.5, 7.5, 9, 9);
    drawGlyph(p, glyphDiagonalArrow(arrow, incoming, 2.2), color, QColor());
    if (unanswered)
        drawGlyph(p, glyphCross(QRectF(5.5, 13.5, 5, 5), 1.8), QColor("#d93a30"), QColor());
    p.end();
    save(img, name);
}

// Signal bars with only the lowest lit, in a warning colour: the line was poor.
void makePoorQualityIcon()
{
    QImage img = newImage(16, 16);
    QPainter p(&img);
    begin(p);
    p.setPen(Qt::NoPen);
    for (int bar = 0; bar < 4; ++bar) {
        const qreal height = 4 + bar * 3.5;
        p.setBrush(bar == 0 ? QColor("#e0572b") : QColor("#c8ccd2"));
        p.drawPath(rounded(QRectF(1 + bar * 3.75, 15 - height, 2.75, height), 0.8));
    }
    p.end();
    save(img, "quality_poor.png");
}

bool writeQrc(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QStringList names = g_written;
    names.sort();
    QTextStream out(&f);
    out << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/ZIMPhone/images\">\n";
    for (const QString& n : names)
        out << "    <file alias=\"" << n << "\">images/" << n << "</file>\n";
    out << "</qresource>\n</RCC>\n";
    return true;
}

void makeImages()
{
    makeMain();
    makeScreen();
    makeClose();
    makeLogo();
    makeIcon();
    makeLamp(true);
    makeLamp(false);
    makeLock();
    makeDelete(false);
    makeDelete(true);

    // Dial pad: the button draws its digit, so the key is blank.
    keySet("digital", QSize(86, 35), kDigitKey, 8, nullptr, QRectF());

    // Call row, 63x35. The caption ("通話" at 12 pt bold, 32 px wide) is centred and
    // leaves about 14 px on either side: the glyph sits small in the left one.
    const QRectF small(2.5, 10.5, 10, 12);
    keySet("dialog", QSize(63, 35), kGreenKey, 8, glyphCall, small);
    keySet("terminate", QSize(63, 35), kRedKey, 8, glyphHangUp, small.adjusted(0, 1, 0, -1));
    keySet("pause", QSize(63, 35), kHoldKey, 8, glyphPause, small.adjusted(0.5, 1.5, -0.5, -1.5));
    keySet(
        "transfer", QSize(63, 35), kTransferKey, 8, [](const QRectF& b) { return glyphArrowRight(b, 1.9); },
        small.adjusted(0, 1, 0, -1));
    // The mute key is small enough to sit in the screen's corner; its caption ("消音", 9 pt)
    // fills it, so it has no glyph. Its pressed face is shown while the call is muted.
    keySet("mute", QSize(34, 20), kTransferKey, 5, nullptr, QRectF());
    // The record key matches it in the other corner, in the hang-up key's red: its pressed face
    // (shown while the call records) reads as a recorder's lamp.
    keySet("record", QSize(34, 20), kRedKey, 5, nullptr, QRectF());

    // Remote-site window.
    makeSite(false);
    makeSite(true);
    makeSiteScreen();
    // Site keys, 110x41: room for a solid glyph left of a two-character caption.
    keySet("site_dialog", QSize(110, 41), kGreenKey, 9, glyphCall, QRectF(9, 9, 19, 19));
    keySet("site_terminate", QSize(110, 41), kRedKey, 9, glyphHangUp, QRectF(6, 9, 24, 19), false);
    // "詳細情報" (15 pt bold) spans all but 13 px on either side: a small page glyph.
    keySet(
        "site_detail", QSize(110, 41), kTransferKey, 9, [](const QRectF& b) { return glyphPage(b, 1.5); },
        QRectF(2.5, 11.5, 10, 14));

    makeHistoryIcon("income.png", QColor("#1e9e58"), true);
    makeHistoryIcon("declined.png", QColor("#d93a30"), true);
    makeHistoryIcon("out.png", QColor("#2a78cc"), false);
    makeHistoryIcon("out_failed.png", QColor("#c98a2e"), false, true);
    makePoorQualityIcon();
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr,
                     "usage: velora-assets <images-dir> <sounds-dir> [<qrc-file> [<icon-theme-dir>]]\n");
        return 2;
    }
    g_imageDir = args.at(1);
    const QString soundDir = args.at(2);
    if (!QDir().mkpath(g_imageDir) || !QDir().mkpath(soundDir)) {
        std::fprintf(stderr, "cannot create the output directories\n");
        return 1;
    }

    makeImages();
    bool ok = g_written.size() == 47;
    if (!ok)
        std::fprintf(stderr, "wrote %d images, expected 47\n", int(g_written.size()));
    if (args.size() > 3 && !writeQrc(args.at(3))) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args.at(3)));
        ok = false;
    }
    if (args.size() > 4)
        ok &= makeThemeIcons(args.at(4));
    ok &= makeSounds(soundDir);
    std::printf("%d images in %s, sounds in %s\n", int(g_written.size()), qPrintable(g_imageDir),
                qPrintable(soundDir));
    return ok ? 0 : 1;
}
