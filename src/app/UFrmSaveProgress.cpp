#include "app/UFrmSaveProgress.h"

#include "model/uDataFunc.h"
#include "ui/uNamed.h"
#include "ui/uWindowFlags.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

TfrmSaveProgress::TfrmSaveProgress(int address, int total, QWidget* parent)
    : QWidget(parent, ProgressDialogFlags),
      address_(address), total_(total)
{
    setObjectName(QStringLiteral("frmSaveProgress"));
    setFixedSize(320, 96);
    lblSave = MakeNamed<QLabel>(this, "lblSave", QRect(12, 10, 296, 20));
    pbSave = MakeNamed<QProgressBar>(this, "pbSave", QRect(12, 38, 208, 22));
    pbSave->setTextVisible(false);
    pbSave->setRange(0, total);
    pbSave->setValue(0);
    btnSaveCancel = MakeNamed<QPushButton>(this, "btnSaveCancel", QRect(228, 36, 80, 26));
    connect(btnSaveCancel, &QPushButton::clicked, this, [this] {
        cancelled_ = true;
        Q_EMIT Cancelled();
    });
    ApplyCaptions();
}

void TfrmSaveProgress::ApplyCaptions()
{
    setWindowTitle(LangText("Save settings", "保存设置"));
    btnSaveCancel->setText(LangText("Cancel", "取消"));
    lblSave->setText(LangText("Reading cabinet %1: %2 of %3 blocks", "正在读取机柜 %1: %2/%3 块")
                         .arg(address_)
                         .arg(done_)
                         .arg(total_));
}

void TfrmSaveProgress::SetProgress(int done, int total)
{
    done_ = done;
    total_ = total;
    pbSave->setRange(0, total);
    pbSave->setValue(done);
    ApplyCaptions();
}

void TfrmSaveProgress::closeEvent(QCloseEvent* event)
{
    // Closing the window is a cancel; the reading's end closes it without one.
    if (!cancelled_ && isVisible()) {
        cancelled_ = true;
        Q_EMIT Cancelled();
    }
    QWidget::closeEvent(event);
}
