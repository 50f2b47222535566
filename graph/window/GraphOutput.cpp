// What leaves the graph window: printing, picture files and the clipboard,
// all painted by PaintGraph as the window is.
#include "graph/window/Graph.h"

#include "graph/draw/Canvas.h"
#include "graph/draw/GraphDraw.h"
#include "graph/draw/GraphPicture.h"
#include "store/base/AtomicFile.h"
#include "store/base/Messages.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>

#include <exception>
#include <span>

namespace quillmar {

namespace {

constexpr QSize PictureSize(1024, 768);

} // namespace

QImage TGraph::RenderPicture(QSize size) {
    TDrawOptions options;
    options.DrawOthers = [this](TCanvas& c) { DrawOthers(c); };
    QImage image = RenderGraph(*axes_, *curves_, size, options);
    screenLayout_ = false; // the axes now hold the picture's layout
    return image;
}

bool TGraph::SavePicture(const QString& fileName, const QString& format) {
    const TPictureFormat kind = PictureFormatNamed(format).value_or(TPictureFormat::Bmp);
    TDrawOptions options;
    options.DrawOthers = [this](TCanvas& c) { DrawOthers(c); };
    const QByteArray bytes = GraphPictureBytes(*axes_, *curves_, kind, PictureSize, options, windowTitle());
    screenLayout_ = false; // the axes now hold the picture's layout
    const bool bitmap = kind == TPictureFormat::Bmp || kind == TPictureFormat::Png;
    if (bytes.isEmpty()) {
        showMessage("Error", bitmap ? "Error creating bitmap"
                                    : "Error writing file, check sufficient disc space is available");
        return false;
    }
    try {
        // The old file stays until the new one is complete.
        WriteFileAtomically(fileName.toStdString(),
                            std::span(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size())));
    } catch (const std::exception&) {
        showMessage("Error", "Error writing file, check sufficient disc space is available");
        return false;
    }
    return true;
}

void TGraph::Export1Click() {
    if (!curveIsPresent_) {
        QApplication::beep();
        return;
    }
    const QString bmp = "Bitmap files (*.bmp)";
    const QString png = "PNG pictures (*.png)";
    const QString svg = "SVG drawings (*.svg)";
    const QString pdf = "PDF documents (*.pdf)";
    // The dialog is window-modal; its answer saves the picture.
    auto* dialog = new QFileDialog(this, "Export Bitmap");
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters({bmp, png, svg, pdf});
    dialog->setDefaultSuffix("BMP");
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    connect(dialog, &QFileDialog::filterSelected, dialog, [=](const QString& filter) {
        dialog->setDefaultSuffix(filter == png   ? "png"
                                 : filter == svg ? "svg"
                                 : filter == pdf ? "pdf"
                                                 : "BMP");
    });
    connect(dialog, &QDialog::finished, this, [=, this](int result) {
        dialog->deleteLater();
        if (result != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return;
        const QString filter = dialog->selectedNameFilter();
        const QString format = filter == png ? "PNG" : filter == svg ? "SVG" : filter == pdf ? "PDF" : "BMP";
        SavePicture(dialog->selectedFiles().first(), format);
    });
    dialog->open();
}

QPrinter* TGraph::Printer() {
    if (!printer_) printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return printer_.get();
}

void TGraph::PrinttF81Click() {
    if (!curveIsPresent_) return;
    QPrinter* printer = Printer();
    const bool toFile =
        printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty();
    if (!toFile && QPrinterInfo::availablePrinters().isEmpty()) return; // no printer: nothing happens
    // Nothing to draw: no page either.
    if (curves_->SetupAxesInfo()) {
        QPainter painter;
        if (painter.begin(printer)) {
            // The page keeps the paper's white and the marker sizes of the
            // last screen drawing.
            TDrawOptions options;
            options.SetMarkerSizes = false;
            options.FillBackground = false;
            options.DrawOthers = [this](TCanvas& c) { DrawOthers(c); };
            PaintGraph(painter, QRect(0, 0, printer->width(), printer->height()), *axes_, *curves_, options);
            painter.end();
        }
    }
    DrawScreen();
}

void TGraph::PrinterSetup1Click() {
    // Window-modal; the choices stay with the printer, nothing is printed.
    auto* dialog = new QPrintDialog(Printer(), this);
    dialog->setWindowTitle("Print Setup");
    dialog->setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog->setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, false);
    if (auto* box = dialog->findChild<QDialogButtonBox*>())
        if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) ok->setText("OK");
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
    dialog->open();
}

void TGraph::CopyToClipboard() {
    if (cachedImage_.isNull()) return;
    QGuiApplication::clipboard()->setImage(ShownImage());
}

} // namespace quillmar
