#include "graph/draw/GraphPicture.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>

#include <memory>

namespace quillmar {

std::optional<TPictureFormat> PictureFormatNamed(const QString& name) {
    const QString kind = name.toUpper();
    if (kind == "BMP") return TPictureFormat::Bmp;
    if (kind == "PNG") return TPictureFormat::Png;
    if (kind == "SVG") return TPictureFormat::Svg;
    if (kind == "PDF") return TPictureFormat::Pdf;
    return std::nullopt;
}

std::optional<TPictureFormat> PictureFormatOfFile(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.isEmpty()) return std::nullopt;
    return PictureFormatNamed(suffix);
}

QByteArray GraphPictureBytes(TAxes& axes, TCurves& curves, TPictureFormat format, QSize size,
                             const TDrawOptions& options, const QString& title, bool* drawn) {
    if (drawn) *drawn = false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) return {};

    if (format == TPictureFormat::Bmp || format == TPictureFormat::Png) {
        const QImage image = RenderGraph(axes, curves, size, options, drawn);
        if (image.isNull() || !image.save(&buffer, format == TPictureFormat::Png ? "PNG" : "BMP")) return {};
        return bytes;
    }

    std::unique_ptr<QPaintDevice> device;
    if (format == TPictureFormat::Svg) {
        auto svg = std::make_unique<QSvgGenerator>();
        svg->setOutputDevice(&buffer);
        svg->setSize(size);
        svg->setViewBox(QRect(QPoint(0, 0), size));
        svg->setResolution(96);
        svg->setTitle(title);
        device = std::move(svg);
    } else {
        auto pdf = std::make_unique<QPdfWriter>(&buffer);
        pdf->setResolution(96);
        pdf->setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf->setPageSize(
            QPageSize(QSizeF(size) * 72.0 / 96.0, QPageSize::Point, QString(), QPageSize::ExactMatch));
        pdf->setTitle(title);
        device = std::move(pdf);
    }
    QPainter painter;
    if (!painter.begin(device.get())) return {};
    const bool ok = PaintGraph(painter, QRect(QPoint(0, 0), size), axes, curves, options);
    if (!painter.end()) return {};
    device.reset(); // a PDF is complete once its writer is gone
    if (drawn) *drawn = ok;
    return bytes;
}

} // namespace quillmar
