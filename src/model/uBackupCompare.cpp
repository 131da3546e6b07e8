#include "model/uBackupCompare.h"

#include "model/uDataFunc.h"

std::vector<TBackupDifference> BackupDifferences(const TSettingsBackup& file, const TSettingsBackup& cabinet)
{
    std::vector<TBackupDifference> out;
    for (const auto& [reg, value] : file.registers) {
        const auto there = cabinet.registers.find(reg);
        if (there == cabinet.registers.end() || there->second == value) continue;
        TBackupDifference d;
        d.reg = reg;
        d.cabinet = there->second;
        d.file = value;
        d.byDefault = !IsElapsedCounter(reg) && !BackupRegisterName(reg).en.isEmpty();
        out.push_back(d);
    }
    return out;
}

QStringList OtherCabinetReasons(const TSettingsBackup& file, const TSettingsBackup& cabinet)
{
    QStringList out;
    if (file.type != cabinet.type)
        out << LangText("type %1 in the file, %2 here", "文件型号 %1, 本机柜 %2").arg(file.type, cabinet.type);
    if (file.rating != cabinet.rating)
        out << LangText("rating %1 kVA in the file, %2 kVA here", "文件额定功率 %1 kVA, 本机柜 %2 kVA")
                   .arg(file.rating)
                   .arg(cabinet.rating);
    if (file.address != cabinet.address)
        out << LangText("address %1 in the file, %2 here", "文件地址 %1, 本机柜 %2").arg(file.address).arg(cabinet.address);
    return out;
}
