// The event-record window's first page: the download from the cabinet, one record a
// request, into the record database.
#include "records/uUpsRec.h"

#include "comm/uCabinet.h"
#include "model/uRegisters.h"
#include "records/uRecDetail.h"
#include "records/uRecordGridDelegate.h"

#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "ui/uCaptions.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uPassword.h"
#include "ui/uReqSlots.h"
#include "ui/uUiSeam.h"
#include "ui/uWidgets.h"
#include "ui/uWindowFlags.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

namespace {

// Clears a flag when the scope ends.
struct TickGuard {
    bool& flag;
    explicit TickGuard(bool& f) : flag(f) { flag = true; }
    ~TickGuard() { flag = false; }
};

} // namespace

void TfrmUpsRec::RequestRecord()
{
    intgrtptRec->setValue(Cabinet().RecInfo.NextRecNo);
    if (!portOpen()) return;
    QueueRequest(1, 20, 0, 0, static_cast<uint16_t>(Cabinet().RecInfo.NextRecNo));
}

void TfrmUpsRec::RequestRecordInfo()
{
    if (!portOpen()) return;
    QueueRequest(2, 3, RegRecCountFirst, RecCountReadCount);
}

void TfrmUpsRec::ShowRecordInfo()
{
    redtMaxRec->setText(QString::number(Cabinet().RecInfo.MaxRec));
    redtAllRec->setText(QString::number(Cabinet().RecInfo.AllRec));
}

void TfrmUpsRec::btnBeginClick()
{
    // The click has already flipped the button.
    if (!portOpen() && btnBegin->isChecked()) {
        btnBegin->setChecked(false);
        Cabinet().RecInfo.PollHold = 0;
        TMessageBoxRequest r;
        r.parent = this;
        r.icon = QMessageBox::Warning;
        r.title = QStringLiteral("Warning");
        r.text = QStringLiteral("Com is off");
        r.buttons = QMessageBox::Ok;
        ShowMessageBox(r);
        return;
    }
    if (Cabinet().RecInfo.PollHold != 0) {
        Cabinet().RecInfo.PollHold = 0;
        btnBegin->setChecked(false);
        btnStop->setEnabled(false);
        return;
    }
    if (list_->IsOpen() && CurrentRowNo() > 0) {
        TMessageBoxRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.text =
            LangText("Local data will be replaced, do you want to continue? ", "本地数据将被替代,是否继续? ");
        r.buttons = QMessageBox::Yes | QMessageBox::No;
        r.defaultButton = QMessageBox::No;
        if (ShowMessageBox(r) != QMessageBox::Yes) {
            Cabinet().RecInfo.PollHold = 0;
            btnBegin->setChecked(false);
            return;
        }
    }
    Download.Start(intgrtptRec->value());
    btnBegin->setChecked(true);
    btnStop->setEnabled(true);
    TempFixCount = 0;
    reportedStoreError_.clear();
    lastStoreFailed_ = false;
    progress_.Start(Cabinet().RecInfo.NextRecNo, Cabinet().RecInfo.AllRec, now());
    showProgress();
}

void TfrmUpsRec::btnStopClick()
{
    if (Cabinet().RecInfo.PollHold == 0) return;
    // A record that arrived since the last tick is kept like the others before it.
    if (Cabinet().RecInfo.RecReplyRecvd != 0 && Cabinet().RecInfo.Rec.RecNo == Cabinet().RecInfo.NextRecNo) {
        StoreRecord(Cabinet().RecInfo.Rec);
        if (!lastStoreFailed_) {
            RefreshList();
            progress_.Stored(now());
            Cabinet().RecInfo.NextRecNo += 1;
        }
    }
    Cabinet().RecInfo.RecReplyRecvd = FlagOff;
    Download.Stop();
    btnBegin->setChecked(false);
    btnStop->setEnabled(false);
    progress_.SetLast(Cabinet().RecInfo.AllRec);
    progress_.Stop();
    showProgress();
}

bool TfrmUpsRec::downloadStep(bool replyOnly)
{
    bool refused = false;
    const auto request = [this] { RequestRecord(); };
    const auto store = [this, &refused](TRecordData& rec) {
        StoreRecord(rec);
        if (lastStoreFailed_) {
            refused = true;
            return false;
        }
        RefreshList();
        progress_.Stored(now());
        return true;
    };
    if (replyOnly)
        Download.ReplyNow(request, store);
    else
        Download.Tick(request, store);
    if (refused) return false;
    progress_.SetLast(Cabinet().RecInfo.AllRec);
    showProgress();
    return true;
}

void TfrmUpsRec::replyArrived()
{
    // Line-speed link: the record is stored and the next one asked for at once.
    if (inTick_ || Cabinet().RecInfo.PollHold == 0 || Cabinet().RecInfo.RecReplyRecvd == 0) return;
    TickGuard guard(inTick_);
    downloadStep(true);
    btnBegin->setChecked(Cabinet().RecInfo.PollHold != 0);
    btnStop->setEnabled(Cabinet().RecInfo.PollHold != 0);
}

void TfrmUpsRec::tmr1Timer()
{
    // A message box opened from inside a tick runs its own event loop, in which this timer
    // keeps firing: those ticks are skipped.
    if (inTick_) return;
    TickGuard guard(inTick_);

    btnBegin->setChecked(Cabinet().RecInfo.PollHold != 0);
    btnStop->setEnabled(Cabinet().RecInfo.PollHold != 0);
    if (Cabinet().RecInfo.PollHold != 0 && !downloadStep(false)) return;
    btnStop->setEnabled(Cabinet().RecInfo.PollHold != 0);

    if (InfoCountdown <= 0) {
        if (windowActive() && Cabinet().RecInfo.PollHold == 0) {
            RequestRecordInfo();
            InfoCountdown = 300;
        }
    } else {
        InfoCountdown -= 1;
    }

    if (Cabinet().RecInfo.RecCntRecvd != 0) {
        Cabinet().RecInfo.RecCntRecvd = 0;
        InfoCountdown = 100;
        ShowRecordInfo();
    }
}

void TfrmUpsRec::showProgress()
{
    if (!progress_.Started()) return;
    pbDownload->setValue(progress_.Percent());
    lblProgress->setText(progress_.Text());
}

void TfrmUpsRec::btnClrRecClick()
{
    TMessageBoxRequest ask;
    ask.parent = this;
    ask.icon = QMessageBox::Question;
    ask.text = LangText("Do you want Clear Records of UPS ? ", "是否删除UPS历史记录? ");
    ask.buttons = QMessageBox::Yes | QMessageBox::No;
    ask.defaultButton = QMessageBox::No;
    if (ShowMessageBox(ask) != QMessageBox::Yes) return;

    const int verdict = RunPasswordPrompt(this, [](TfrmPassword& p) { p.SetPSW = QStringLiteral("tulip"); });
    if (verdict != QDialog::Accepted) {
        TMessageBoxRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.text = LangText("Password is incorrect ! ", "密码不正确! ");
        r.buttons = QMessageBox::Ok;
        ShowMessageBox(r);
        return;
    }
    // The write-enable command first, then 0 into the low half of the record count: both or
    // neither, and only while the port is open.
    QueueWrite(this, {{1, 6, RegWriteEnable, 0, WriteEnableValue}, {2, 6, RegRecErase, 0, 0}});
}

// ---- Record database and list ----

void TfrmUpsRec::StoreRecord(TRecordData& rec)
{
    const int32_t recNo = rec.RecNo;
    const TStoreOutcome out = db_.StoreRecord(rec);
    lastStoreFailed_ = !out.stored;
    if (!out.stored) {
        // Once per cause, not once per retry of the same record.
        const QString cause = out.error;
        if (cause != reportedStoreError_) {
            reportedStoreError_ = cause;
            TMessageBoxRequest r;
            r.parent = this;
            r.icon = QMessageBox::Critical;
            r.title = windowTitle();
            r.text = LangText("Record %1 was not stored in %2:\n%3", "记录 %1 未能存入 %2:\n%3")
                         .arg(recNo)
                         .arg(QDir::toNativeSeparators(db_.FilePath()), cause);
            ShowMessageBox(r);
        }
        return;
    }
    reportedStoreError_.clear();
    noteStored(recNo, out);
}

void TfrmUpsRec::noteStored(int32_t recNo, const TStoreOutcome& out)
{
    if (!out.tempCorrected) return;
    TempFixCount += 1;
    mmo2->appendPlainText(
        QStringLiteral("Rec: %1; DT=%2; Temp=%3").arg(recNo).arg(out.dateText).arg(out.rawTemperature));
}

void TfrmUpsRec::reportDbProblem(const QString& cause, bool foreignFile)
{
    if (cause.isEmpty() || cause == reportedOpenError_) return;
    reportedOpenError_ = cause;
    TMessageBoxRequest r;
    r.parent = this;
    r.title = windowTitle();
    if (!foreignFile) {
        r.icon = QMessageBox::Critical;
        r.text = cause;
        ShowMessageBox(r);
        return;
    }
    // The operator's file is kept: with consent it is moved aside and a new database made.
    r.icon = QMessageBox::Warning;
    r.text = cause + LangText("\nMove this file aside and create a new record database?",
                              "\n是否将此文件改名保留, 并新建记录数据库?");
    r.buttons = QMessageBox::Yes | QMessageBox::No;
    r.defaultButton = QMessageBox::No;
    if (ShowMessageBox(r) != QMessageBox::Yes) return;
    const QString aside =
        DbFile +
        QStringLiteral(".unreadable-%1").arg(QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss"));
    if (!QFile::rename(DbFile, aside)) {
        TMessageBoxRequest e;
        e.parent = this;
        e.icon = QMessageBox::Critical;
        e.title = windowTitle();
        e.text = LangText("Could not rename %1", "无法改名 %1").arg(QDir::toNativeSeparators(DbFile));
        ShowMessageBox(e);
        return;
    }
    reportedOpenError_.clear();
    db_.OpenRecordDb();
}
