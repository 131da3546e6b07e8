// The small window "Save settings…" shows while it reads the cabinet's settings: which block
// it is at, a bar that moves with each block that answered, and Cancel, which ends the
// reading and writes nothing.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

class TfrmSaveProgress : public QWidget {
    Q_OBJECT
public:
    TfrmSaveProgress(int address, int total, QWidget* parent);

    void ApplyCaptions();
    // done blocks of total have answered.
    void SetProgress(int done, int total);

    QLabel* lblSave = nullptr;
    QProgressBar* pbSave = nullptr;
    QPushButton* btnSaveCancel = nullptr;

Q_SIGNALS:
    // Cancel pressed, or the window closed by the operator.
    void Cancelled();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    int address_;
    int done_ = 0;
    int total_;
    bool cancelled_ = false;
};
