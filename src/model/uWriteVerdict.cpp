#include "model/uWriteVerdict.h"

#include "model/uDataFunc.h"

QString WriteVerdictText(int verdict)
{
    switch (static_cast<TWriteVerdict>(verdict)) {
    case TWriteVerdict::Sent: return LangText("sent", "已发送");
    case TWriteVerdict::Written: return LangText("written", "已写入");
    case TWriteVerdict::ReadBackEqual: return LangText("read back equal", "回读一致");
    case TWriteVerdict::ReadBackDifferent: return LangText("read back different", "回读不一致");
    case TWriteVerdict::NoAnswer: return LangText("no answer", "无应答");
    case TWriteVerdict::NotSent: return LangText("not sent", "未发送");
    case TWriteVerdict::Refused: return LangText("refused", "被拒绝");
    }
    return QString::number(verdict);
}
