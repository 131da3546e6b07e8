#include "support/TestSupport.h"

#include "model/uTrendRing.h"

#include <QFile>

#include <algorithm>
#include <iterator>
#include <gtest/gtest.h>

#include "comm/uCabinet.h"
#include "comm/uCrc16.h"
#include "comm/uKModbus.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "ui/uPassword.h"
#include "ui/uUiSeam.h"

class TFrmComTestAccess {
public:
    static TFrmCom& link()
    {
        EXPECT_NE(FrmCom, nullptr) << "the test has no link";
        return *FrmCom;
    }
    static TReqSlot* slots() { return link().reqSlot_; }
    static TCommDebug& counters() { return link().commDebug_; }
    static TLinkState& state() { return link().linkState_; }
    static uint8_t* txBuf() { return link().txBuf_; }
    static uint8_t* rxBuf() { return link().rxBuf_; }
    // A link the test made itself starts afresh too: no slot, count, state or byte left over.
    static void reset(TFrmCom& l)
    {
        for (TReqSlot& s : l.reqSlot_) s = TReqSlot{};
        l.commDebug_ = TCommDebug{};
        l.linkState_ = TLinkState{};
        std::fill(std::begin(l.txBuf_), std::end(l.txBuf_), uint8_t(0));
        std::fill(std::begin(l.rxBuf_), std::end(l.rxBuf_), uint8_t(0));
    }
};

TReqSlot* TestSlots() { return TFrmComTestAccess::slots(); }
TCommDebug& TestCommDebug() { return TFrmComTestAccess::counters(); }
TLinkState& TestLinkState() { return TFrmComTestAccess::state(); }
uint8_t* TestTxBuf() { return TFrmComTestAccess::txBuf(); }
uint8_t* TestRxBuf() { return TFrmComTestAccess::rxBuf(); }

namespace {
// The link of a test that makes none of its own: fresh for every test, its timer stopped so
// that only the test moves it. Kept to the end of the program (never freed after the
// application).
TFrmCom* standingLink = nullptr;
} // namespace

void ResetAll()
{
    ResetSharedData();
    if (!FrmCom || FrmCom == standingLink) {
        delete standingLink;
        standingLink = new TFrmCom;
        standingLink->Timer1.stop();
    } else {
        TFrmComTestAccess::reset(*FrmCom);
    }
    Cabinet().Reset();
    SetMessageBoxHandler(nullptr);
    SetModalHandler(nullptr);
    SetFileDialogHandler(nullptr);
    AcceptedPsw.clear();
    TrendRing.Clear();
}

std::vector<uint8_t> HexBytes(const char* text)
{
    std::vector<uint8_t> out;
    const QByteArray bytes = QByteArray::fromHex(QByteArray(text).replace(' ', ""));
    out.assign(bytes.begin(), bytes.end());
    return out;
}

QString HexLine(const uint8_t* bytes, int count)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), count).toHex(' ').toUpper());
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame)
{
    const uint16_t crc = Crc16(frame.data(), static_cast<int>(frame.size()));
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
    return frame;
}

QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
