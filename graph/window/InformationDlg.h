#pragma once
// The small stay-on-top window a modal graph tool shows while it waits: a
// message and an Abort button (also Escape).

#include <QDialog>

class QLabel;
class QPushButton;

namespace quillmar {

class TInformationDlg : public QDialog {
    Q_OBJECT
public:
    explicit TInformationDlg(QWidget* owner);

    bool Aborted() const { return aborted_; }
    void setText(const QString& text);

    QLabel* dlgInfoText = nullptr;
    QPushButton* dlgAbort = nullptr;

signals:
    void abortClicked();

public slots:
    void reject() override; // Escape or closing the window aborts as well

private:
    bool aborted_ = false;
};

} // namespace quillmar
