// Pictures and kept objects of a note: reading a \pict group, drawing pictures (bitmaps
// through Qt, metafiles through libwmf and libemf2svg as SVG), and the object characters
// that carry them in a text document.
#include "clinical/RtfObjects.h"

#include "clinical/RtfChars.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFontMetricsF>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QTextObjectInterface>
#include <QtEndian>
#include <algorithm>
#include <cmath>

extern "C" {
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>
}

namespace qv::rtf {

namespace {

constexpr double kTwipsPerPixel = 15.0;
constexpr double kMaxSide = 4000.0; // pixels: a picture is never shown larger
constexpr int kMaxDecodedPixels = 40'000'000;

// ---- drawing metafiles ----

QByteArray wmfToSvg(const QByteArray& data) {
    wmfAPI* api = nullptr;
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api != nullptr)
            wmf_api_destroy(api);
        return QByteArray();
    }
    QByteArray svg;
    QByteArray input = data;
    wmf_svg_t* device = WMF_SVG_GetData(api);
    device->flags |= WMF_SVG_INLINE_IMAGES;
    if (wmf_mem_open(api, reinterpret_cast<unsigned char*>(input.data()), long(input.size())) == wmf_E_None) {
        wmfD_Rect box{};
        if (wmf_scan(api, 0, &box) == wmf_E_None) {
            device->bbox = box;
            device->out = wmf_stream_create(api, nullptr);
            unsigned int width = 0, height = 0;
            wmf_display_size(api, &width, &height, 96, 96);
            device->width = std::clamp(width, 1u, 4000u);
            device->height = std::clamp(height, 1u, 4000u);
            const wmf_error_t played = wmf_play(api, 0, &box);
            char* text = nullptr;
            unsigned long length = 0;
            wmf_stream_destroy(api, device->out, &text, &length);
            if (played == wmf_E_None && text != nullptr) {
                // Its texts' ampersands come unescaped ("Nixon & Gruber").
                static const QRegularExpression bare(QStringLiteral("&(?!#?[0-9A-Za-z]+;)"));
                svg = QString::fromUtf8(text, qsizetype(length))
                          .replace(bare, QStringLiteral("&amp;"))
                          .toUtf8();
            }
            // The stream's memory belongs to the library's allocator, freed with the API.
        }
        wmf_mem_close(api);
    }
    wmf_api_destroy(api);
    return svg;
}

QByteArray emfToSvg(const QByteArray& data, const QSizeF& size) {
    QByteArray input = data;
    char noNamespace[] = "";
    generatorOptions options{};
    options.nameSpace = noNamespace;
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    options.imgWidth = size.width();
    options.imgHeight = size.height();
    char* out = nullptr;
    size_t length = 0;
    const int ok = emf2svg(input.data(), size_t(input.size()), &out, &length, &options);
    QByteArray svg;
    if (ok && out != nullptr)
        svg = QByteArray(out, qsizetype(length));
    free(out);
    return svg;
}

// A device-independent bitmap as a BMP file: the file header it lacks in RTF.
QImage dibImage(const QByteArray& data) {
    if (data.size() < 40)
        return QImage();
    const auto* p = reinterpret_cast<const uchar*>(data.constData());
    const quint32 headerSize = qFromLittleEndian<quint32>(p);
    if (headerSize < 12 || headerSize > quint32(data.size()))
        return QImage();
    quint32 paletteBytes = 0;
    if (headerSize >= 40) {
        const quint16 bits = qFromLittleEndian<quint16>(p + 14);
        const quint32 compression = qFromLittleEndian<quint32>(p + 16);
        quint32 used = qFromLittleEndian<quint32>(p + 32);
        if (used == 0 && bits <= 8)
            used = 1u << bits;
        paletteBytes = std::min<quint32>(used, 256) * 4;
        if (headerSize == 40 && (compression == 3 || compression == 6))
            paletteBytes += compression == 3 ? 12 : 16;
    } else {
        const quint16 bits = qFromLittleEndian<quint16>(p + 10);
        paletteBytes = bits <= 8 ? (1u << bits) * 3 : 0;
    }
    QByteArray file("BM");
    file.resize(14);
    qToLittleEndian<quint32>(quint32(14 + data.size()), reinterpret_cast<uchar*>(file.data()) + 2);
    qToLittleEndian<quint32>(0, reinterpret_cast<uchar*>(file.data()) + 6);
    qToLittleEndian<quint32>(14 + headerSize + paletteBytes, reinterpret_cast<uchar*>(file.data()) + 10);
    file += data;
    return QImage::fromData(file, "BMP");
}

// A device-dependent bitmap (\wbitmap): monochrome or true-colour rows, top row first.
QImage ddbImage(const Picture& picture) {
    const int w = picture.width, h = picture.height;
    if (w <= 0 || h <= 0 || qint64(w) * h > kMaxDecodedPixels)
        return QImage();
    const int bits = picture.bitsPerPixel * std::max(1, picture.planes);
    const int stride = picture.bytesPerLine > 0 ? picture.bytesPerLine : ((w * bits + 15) / 16) * 2;
    if (qint64(stride) * h > picture.data.size())
        return QImage();
    const auto* src = reinterpret_cast<const uchar*>(picture.data.constData());
    if (bits == 1) {
        QImage image(w, h, QImage::Format_Mono);
        image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        for (int y = 0; y < h; ++y)
            std::copy_n(src + qsizetype(y) * stride, std::min<qsizetype>(stride, image.bytesPerLine()),
                        image.scanLine(y));
        return image;
    }
    if (bits == 24 || bits == 32) {
        QImage image(w, h, QImage::Format_RGB32);
        const int step = bits / 8;
        for (int y = 0; y < h; ++y) {
            const uchar* row = src + qsizetype(y) * stride;
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < w; ++x)
                out[x] = qRgb(row[x * step + 2], row[x * step + 1], row[x * step]);
        }
        return image;
    }
    return QImage();
}

QImage svgImage(const QByteArray& svg, const QSize& pixels) {
    if (svg.isEmpty() || pixels.isEmpty())
        return QImage();
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return QImage();
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
    return image;
}

// ---- the object characters in a layout ----

QString tagOf(Kept kind) {
    switch (kind) {
    case Kept::Footnote:
        return QStringLiteral("nota");
    case Kept::Comment:
        return QStringLiteral("commento");
    case Kept::Header:
        return QStringLiteral("intestazione");
    case Kept::Shape:
        return QStringLiteral("casella");
    case Kept::Field:
        return QStringLiteral("campo");
    default:
        return QString();
    }
}

QFont tagFont() {
    QFont font;
    font.setPointSizeF(7);
    return font;
}

class ObjectRenderer : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    using QObject::QObject;

    QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& format) override {
        const Object object = objectOf(format);
        if (object.kind == Kept::Hidden)
            return QSizeF(0, 0);
        if (const QString tag = tagOf(object.kind); !tag.isEmpty() && object.picture == nullptr) {
            const QFontMetricsF metrics(tagFont());
            return QSizeF(metrics.horizontalAdvance(tag) + 6, metrics.height() + 2);
        }
        if (object.size.isEmpty() && object.picture != nullptr)
            return object.picture->shownSize(); // known when first drawn
        return object.size;
    }

    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                    const QTextFormat& format) override {
        const Object object = objectOf(format);
        if (object.kind == Kept::Hidden || rect.isEmpty())
            return;
        painter->save();
        if (const QString tag = tagOf(object.kind); !tag.isEmpty() && object.picture == nullptr) {
            painter->setPen(QColor(110, 110, 110));
            painter->setBrush(QColor(235, 235, 235));
            painter->drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
            painter->setFont(tagFont());
            painter->drawText(rect, Qt::AlignCenter, tag);
            painter->restore();
            return;
        }
        const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
        const QSize pixels = (rect.size() * ratio).toSize();
        const QImage image = object.picture != nullptr ? object.picture->image(pixels) : QImage();
        if (!image.isNull()) {
            painter->setRenderHint(QPainter::SmoothPixmapTransform);
            painter->drawImage(rect, image);
        } else {
            // What cannot be drawn keeps its place and its size, framed.
            painter->setPen(QPen(QColor(150, 150, 150), 1, Qt::DashLine));
            painter->setBrush(QColor(245, 245, 245));
            painter->drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
            painter->setPen(QColor(110, 110, 110));
            painter->setFont(tagFont());
            painter->drawText(rect, Qt::AlignCenter | Qt::TextWordWrap, describe(object));
        }
        painter->restore();
    }
};

} // namespace

// ---- pictures ----

QSizeF Picture::declaredSize() const {
    double w = 0, h = 0;
    if (goalWidth > 0 && goalHeight > 0) {
        w = goalWidth / kTwipsPerPixel;
        h = goalHeight / kTwipsPerPixel;
    } else if (width > 0 && height > 0) {
        if (type == Type::Wmf || type == Type::Emf) {
            // Hundredths of a millimetre.
            w = width * 96.0 / 2540.0;
            h = height * 96.0 / 2540.0;
        } else {
            w = width;
            h = height;
        }
    }
    if (w <= 0 || h <= 0 || !std::isfinite(w) || !std::isfinite(h))
        return QSizeF();
    return scaled(w, h);
}

QSizeF Picture::scaled(double w, double h) const {
    w *= std::clamp(scaleX, 1, 1000) / 100.0;
    h *= std::clamp(scaleY, 1, 1000) / 100.0;
    return QSizeF(std::clamp(w, 1.0, kMaxSide), std::clamp(h, 1.0, kMaxSide));
}

QSizeF Picture::shownSize() const {
    if (const QSizeF declared = declaredSize(); !declared.isEmpty())
        return declared;
    // A picture that gives no size is shown at its own.
    const QImage own = type == Type::Wmf || type == Type::Emf ? QImage() : image(QSize(32, 32));
    return own.isNull() ? scaled(32, 32) : scaled(own.width(), own.height());
}

QImage Picture::image(const QSize& pixels) const {
    if (!decoded_) {
        decoded_ = true;
        switch (type) {
        case Type::Png:
        case Type::Jpeg: {
            QBuffer buffer;
            buffer.setData(data);
            buffer.open(QIODevice::ReadOnly);
            QImageReader reader(&buffer);
            const QSize found = reader.size();
            if (found.isValid() && qint64(found.width()) * found.height() <= kMaxDecodedPixels)
                image_ = reader.read();
            break;
        }
        case Type::Dib:
            image_ = dibImage(data);
            break;
        case Type::Ddb:
            image_ = ddbImage(*this);
            break;
        case Type::Wmf:
            svg_ = wmfToSvg(data);
            break;
        case Type::Emf:
            svg_ = emfToSvg(data, declaredSize().isEmpty() ? QSizeF(32, 32) : declaredSize());
            break;
        case Type::Other:
            break;
        }
    }
    if (!image_.isNull())
        return image_;
    if (svg_.isEmpty() || pixels.isEmpty() || qint64(pixels.width()) * pixels.height() > kMaxDecodedPixels)
        return QImage();
    if (rendered_.size() != pixels)
        rendered_ = svgImage(svg_, pixels);
    return rendered_;
}

std::shared_ptr<const Picture> parsePicture(QStringView group) {
    const qsizetype n = group.size();
    qsizetype i = 0;
    // Up to the word \pict itself.
    while (i < n) {
        const qsizetype at = group.indexOf(u"\\pict", i);
        if (at < 0)
            return nullptr;
        i = at + 5;
        if (i >= n || !isLetter(group[i].unicode()))
            break;
    }
    if (i >= n)
        return nullptr;
    auto picture = std::make_shared<Picture>();
    QByteArray& data = picture->data;
    // Written in place: at most one byte for two characters, or one for each of \bin's.
    data.resize(n);
    char* out = data.data();
    int depth = 0;
    int pending = -1; // a first hexadecimal digit waiting for its second
    while (i < n) {
        const char16_t c = group[i].unicode();
        if (c == u'{') {
            ++i;
            // Optional groups hold properties, never the picture's data.
            if (i + 1 < n && group[i] == u'\\' && group[i + 1] == u'*') {
                int inner = 1;
                while (i < n && inner > 0) {
                    const char16_t d = group[i++].unicode();
                    if (d == u'\\' && i < n)
                        ++i;
                    else if (d == u'{')
                        ++inner;
                    else if (d == u'}')
                        --inner;
                }
            } else {
                ++depth;
            }
            continue;
        }
        if (c == u'}') {
            ++i;
            if (depth-- == 0)
                break;
            continue;
        }
        if (c == u'\\') {
            ++i;
            if (i >= n || !isLetter(group[i].unicode())) {
                ++i;
                continue;
            }
            const qsizetype wordStart = i;
            while (i < n && isLetter(group[i].unicode()))
                ++i;
            const QStringView word = group.mid(wordStart, i - wordStart);
            bool negative = false;
            if (i < n && group[i] == u'-') {
                negative = true;
                ++i;
            }
            qint64 value = 0;
            bool hasValue = false;
            while (i < n && group[i].isDigit() && group[i].unicode() < 0x80) {
                value = std::min<qint64>(value * 10 + (group[i].unicode() - u'0'), 1 << 30);
                hasValue = true;
                ++i;
            }
            if (i < n && group[i] == u' ')
                ++i;
            const int param = int(negative ? -value : value);
            using T = Picture::Type;
            if (word == u"bin") {
                const qsizetype count = std::min<qsizetype>(hasValue ? std::max(param, 0) : 0, n - i);
                for (qsizetype k = 0; k < count; ++k)
                    *out++ = char(group[i + k].unicode() & 0xFF);
                i += count;
            } else if (word == u"pngblip") {
                picture->type = T::Png;
            } else if (word == u"jpegblip") {
                picture->type = T::Jpeg;
            } else if (word == u"emfblip") {
                picture->type = T::Emf;
            } else if (word == u"wmetafile") {
                picture->type = T::Wmf;
                picture->mapMode = hasValue ? param : 8;
            } else if (word == u"dibitmap") {
                picture->type = T::Dib;
            } else if (word == u"wbitmap") {
                picture->type = T::Ddb;
            } else if (word == u"picw") {
                picture->width = std::max(param, 0);
            } else if (word == u"pich") {
                picture->height = std::max(param, 0);
            } else if (word == u"picwgoal") {
                picture->goalWidth = std::max(param, 0);
            } else if (word == u"pichgoal") {
                picture->goalHeight = std::max(param, 0);
            } else if (word == u"picscalex") {
                picture->scaleX = hasValue ? param : 100;
            } else if (word == u"picscaley") {
                picture->scaleY = hasValue ? param : 100;
            } else if (word == u"wbmbitspixel") {
                picture->bitsPerPixel = std::clamp(param, 1, 32);
            } else if (word == u"wbmplanes") {
                picture->planes = std::clamp(param, 1, 4);
            } else if (word == u"wbmwidthbytes") {
                picture->bytesPerLine = std::max(param, 0);
            }
            continue;
        }
        const int value = hexValue(c);
        ++i;
        if (value < 0)
            continue;
        if (pending < 0) {
            pending = value;
        } else {
            *out++ = char(pending * 16 + value);
            pending = -1;
        }
    }
    data.truncate(out - data.constData());
    return picture;
}

std::shared_ptr<const Picture> findPicture(QStringView rtf) {
    qsizetype from = 0;
    while (true) {
        const qsizetype at = rtf.indexOf(u"\\pict", from);
        if (at < 0)
            return nullptr;
        if (at + 5 >= rtf.size() || !isLetter(rtf[at + 5].unicode()))
            return parsePicture(rtf.mid(at));
        from = at + 5;
    }
}

// ---- object characters ----

QTextCharFormat objectFormat(const Object& object) {
    QTextCharFormat format;
    format.setObjectType(kObjectType);
    format.setProperty(kKindProperty, int(object.kind));
    format.setProperty(kRawProperty, object.raw);
    if (object.picture != nullptr)
        format.setProperty(kPictureProperty, QVariant::fromValue(object.picture));
    if (object.context != nullptr)
        format.setProperty(kContextProperty, QVariant::fromValue(object.context));
    format.setProperty(kWidthProperty, object.size.width());
    format.setProperty(kHeightProperty, object.size.height());
    if (object.unicodeSkip != 1)
        format.setProperty(kUnicodeSkipProperty, object.unicodeSkip);
    return format;
}

bool isObject(const QTextFormat& format) {
    return format.objectType() == kObjectType && format.hasProperty(kRawProperty);
}

Object objectOf(const QTextFormat& format) {
    Object object;
    if (!isObject(format))
        return object;
    object.kind = Kept(std::clamp(format.intProperty(kKindProperty), 0, int(Kept::Hidden)));
    object.raw = format.property(kRawProperty).toByteArray();
    object.picture = format.property(kPictureProperty).value<std::shared_ptr<const Picture>>();
    object.context = format.property(kContextProperty).value<std::shared_ptr<const Context>>();
    object.size = QSizeF(format.doubleProperty(kWidthProperty), format.doubleProperty(kHeightProperty));
    object.unicodeSkip =
        format.hasProperty(kUnicodeSkipProperty) ? format.intProperty(kUnicodeSkipProperty) : 1;
    return object;
}

std::shared_ptr<Object> pictureFromBytes(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format().toLower();
    const QSize size = reader.size();
    if (format.isEmpty() || !size.isValid() || size.isEmpty())
        return nullptr;
    QByteArray data = bytes;
    QByteArray blip = format == "jpeg" || format == "jpg" ? "\\jpegblip" : "\\pngblip";
    if (format != "png" && format != "jpeg" && format != "jpg") {
        // Other formats are kept as PNG, which every word processor reads.
        const QImage image = reader.read();
        if (image.isNull())
            return nullptr;
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        image.save(&png, "PNG");
        data = png.data();
    }
    QByteArray raw = "{\\pict" + blip + "\\picw" + QByteArray::number(size.width()) + "\\pich" +
                     QByteArray::number(size.height()) + "\\picwgoal" +
                     QByteArray::number(size.width() * int(kTwipsPerPixel)) + "\\pichgoal" +
                     QByteArray::number(size.height() * int(kTwipsPerPixel)) + "\r\n";
    const QByteArray hex = data.toHex();
    for (qsizetype at = 0; at < hex.size(); at += 128)
        raw += hex.mid(at, 128) + "\r\n";
    raw += '}';
    auto object = std::make_shared<Object>();
    object->kind = Kept::Picture;
    object->picture = parsePicture(QString::fromLatin1(raw));
    object->raw = raw;
    object->size = object->picture->shownSize();
    return object;
}

void enableObjects(QTextDocument& document) {
    QAbstractTextDocumentLayout* layout = document.documentLayout();
    if (layout->handlerForObject(kObjectType) != nullptr)
        return;
    layout->registerHandler(kObjectType, new ObjectRenderer(&document));
}

QString describe(const Object& object) {
    switch (object.kind) {
    case Kept::Picture:
        return QStringLiteral("Immagine");
    case Kept::Object:
        return QStringLiteral("Oggetto incorporato");
    case Kept::Shape:
        return QStringLiteral("Casella di testo o disegno");
    case Kept::Footnote:
        return QStringLiteral("Nota a piè di pagina");
    case Kept::Comment:
        return QStringLiteral("Commento");
    case Kept::Header:
        return QStringLiteral("Intestazione o piè di pagina");
    case Kept::Field:
        return QStringLiteral("Campo");
    case Kept::Hidden:
        break;
    }
    return QString();
}

} // namespace qv::rtf

#include "RtfObjects.moc"
