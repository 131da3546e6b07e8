#include "ui/uWindowCaptions.h"

#include <QWidget>

#include <cstring>

namespace {

struct TWindowCaption {
    const char* objectName;
    const char* en; // UTF-8
    const char* zh; // UTF-8
};

// The editors opened behind the password keep one English caption in both languages.
const TWindowCaption Captions[] = {
    {"FrmMain", "Engineering Tools(ZYR)", "工程工具(ZYR)"},
    {"frmUpsPara", "User Set", "用户设置"},
    {"FrmDataSet", "Data Set", "数据设置"},
    {"frmZyrCfg", "ZYR Config", "ZYR 配置"},
    {"frmEdtZyrCfg", "Edit ZYR Config", "Edit ZYR Config"},
    {"frmMask", "Alarm Bit", "掩码维护"},
    {"FrmSetBit", "Bit Setting", "位设置"},
    {"frmMdbSet", "OPTION Port Set", "OPTION Port Set"},
    {"frmRunTime", "UPS RunTime", "UPS运行时间"},
    {"frmEdtMdRegist", "Edit Modbus Regist", "Edit Modbus Regist"},
    {"frmUpsRec", "Event Logo", "事件记录"},
    {"frmRestore", "Restore settings", "恢复设置"},
    {"frmJournal", "Journal", "服务日志"},
};

const TWindowCaption* find(const QString& objectName)
{
    const QByteArray name = objectName.toLatin1();
    for (const TWindowCaption& c : Captions)
        if (std::strcmp(c.objectName, name.constData()) == 0) return &c;
    return nullptr;
}

} // namespace

QString WindowCaptionText(const QString& objectName)
{
    const TWindowCaption* c = find(objectName);
    return c ? CaptionText({nullptr, c->en, c->zh}) : QString();
}

TCaptionRow WindowCaptionRow(QWidget* window)
{
    const TWindowCaption* c = window ? find(window->objectName()) : nullptr;
    return c ? TCaptionRow{window, c->en, c->zh} : TCaptionRow{window, "", ""};
}
