#include "cli/uHeadlessLink.h"

#include "cli/uCommandOutput.h"
#include "cli/uSignalWatch.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "comm/uOpenFailure.h"

#include <QEventLoop>
#include <QTimer>

namespace {
QString key(int func, int32_t startReg) { return QStringLiteral("%1:%2").arg(func).arg(startReg); }

// The speed of a headless run: --baud, else the settings file's, else the line's default.
int lineSpeed(const TCmdLine& options)
{
    if (options.Baud > 0) return options.Baud;
    int32_t fileBaud = 0;
    if (ParseProfileInt(ReadProfileString("LocalPara", "BaudRate", QString()), fileBaud) && fileBaud > 0)
        return fileBaud;
    return 2400;
}
} // namespace

THeadlessLink::THeadlessLink(const TCmdLine& options)
    : address_(options.Address), port_(options.Port), baud_(lineSpeed(options))
{
    LocalPara.curProtocol = 0; // the cabinets speak Modbus; the link form takes it at its creation
    com_ = std::make_unique<TFrmCom>();
    com_->SetDevAddr(address_);
    com_->SetFastLineForRun(options.Fast);
    // The first poll cycle asks the chosen address, not the default one.
    com_->Modbus->SetCurrentAddress(static_cast<uint16_t>(address_));
    links_ << QObject::connect(com_.get(), &TFrmCom::ReplyAccepted, [this] { replyAccepted(); })
           << QObject::connect(com_.get(), &TFrmCom::PollCycleEnded, [this] { ++cycles_; });
}

THeadlessLink::~THeadlessLink()
{
    links_.Disconnect();
    com_.reset();
}

bool THeadlessLink::Open(const QString& doing, const QString& after)
{
    try {
        com_->OpenPort(port_, baud_);
    } catch (const ECommsError& e) {
        // The window's text: the port's message, the device and the system's reason, the hint
        // for a refused permission; one line each.
        QString error = OpenFailureText(e);
        if (e.Port.isEmpty()) error += QStringLiteral("\nPort %1").arg(port_);
        error.replace(QLatin1Char('\n'), QStringLiteral("\nzyrtool: "));
        Say(error);
        return false;
    }
    Say(QStringLiteral("%1 cabinet %2 on %3").arg(doing, QString::number(address_), port_) + after);
    return true;
}

QString THeadlessLink::NoAnswer(const QString& what) const
{
    return QStringLiteral("the cabinet at address %1 on %2 did not answer %3")
        .arg(QString::number(address_), port_, what);
}

bool THeadlessLink::PortOpen() const { return com_ && com_->PortOpen(); }

void THeadlessLink::Close()
{
    if (com_) com_->ClosePort();
}

void THeadlessLink::replyAccepted()
{
    if (com_ && com_->Modbus) answered_.insert(key(com_->Modbus->ReqFunc, com_->Modbus->ReqStartReg));
}

bool THeadlessLink::Answered(int func, int32_t startReg) const
{
    return answered_.contains(key(func, startReg));
}

bool THeadlessLink::SlotRequestActive() const { return com_ && com_->Modbus && com_->Modbus->SlotTaken; }

void THeadlessLink::FillSlot(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value)
{
    TReqSlot s;
    s.Addr = static_cast<uint8_t>(address_);
    s.Func = func;
    s.StartReg = startReg;
    s.Count = count;
    s.Value = value;
    s.Source = QStringLiteral("headless");
    com_->Submit(slot, s);
}

bool THeadlessLink::RunUntil(const std::function<bool()>& done, int maxCycles)
{
    const int limit = cycles_ + maxCycles;
    QEventLoop loop;
    QTimer check;
    check.setInterval(20);
    bool met = false;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            met = true;
            loop.quit();
        } else if (cycles_ > limit || !com_->PortOpen() || TSignalWatch::Caught() != 0) {
            loop.quit();
        }
    });
    check.start();
    if (done()) return true;
    if (TSignalWatch::Caught() != 0) return false;
    loop.exec();
    return met;
}
