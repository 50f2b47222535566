#pragma once
// The small window that follows a long export: one progress bar, no border,
// on top of the other windows, in the middle of the screen.

#include <QDialog>

class QProgressBar;

namespace quillmar {

class TProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit TProgressDialog(QWidget* parent = nullptr);

    // Range 0 to 100 until the export sets its own.
    QProgressBar* PasteProgressBar = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace quillmar
