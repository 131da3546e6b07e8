// The names the exports of a site visit offer (the cabinet's address, identification and day,
// or the defined name when no cabinet is known) and the message that confirms each save with
// its full path, in both languages.
#include "comm/uCabinet.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"
#include "model/uSiteFileName.h"
#include "model/uUpsInfo.h"
#include "records/uFrmJournal.h"
#include "records/uUpsRec.h"
#include "support/DialogScript.h"
#include "support/FileDialogScript.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

const QDate Day(2024, 5, 18);

void setIdentification(const char* type, int rating)
{
    std::memset(Cabinet().CfgRx + 41, ' ', 3);
    std::memcpy(Cabinet().CfgRx + 41, type, std::strlen(type));
    Cabinet().CfgRx[45] = uint8_t(rating >> 8);
    Cabinet().CfgRx[46] = uint8_t(rating & 0xFF);
}

TEST(SiteFileName, NamesWhatIsKnownAndNothingElse)
{
    struct Case {
        const char* stem;
        const char* suffix;
        int address;
        const char* identification;
        QDate day;
        const char* name;
    } cases[] = {
        {"UpsRecord", "csv", 0, "", QDate(), "UpsRecord.csv"},
        {"UpsRecord", "csv", 3, "ZYR-50kVA", Day, "UpsRecord_3_ZYR-50kVA_20240518.csv"},
        {"ServiceReport", "pdf", 3, "", Day, "ServiceReport_3_20240518.pdf"},
        {"ServiceReport", "pdf", 0, "ZYR-50kVA", QDate(), "ServiceReport_ZYR-50kVA.pdf"},
        {"ServiceReport", "pdf", 0, "", Day, "ServiceReport_20240518.pdf"},
        {"Settings", "json", 15, "ZYR-200kVA", Day, "Settings_15_ZYR-200kVA_20240518.json"},
        // What a cabinet sends is made safe for a file name: no blank, no folder, no dot first.
        {"UpsRecord", "csv", 12, "ZYR 50/kVA", Day, "UpsRecord_12_ZYR-50-kVA_20240518.csv"},
        {"UpsRecord", "csv", 2, "../x", Day, "UpsRecord_2_x_20240518.csv"},
        {"UpsRecord", "csv", 2, "  ", Day, "UpsRecord_2_20240518.csv"},
        {"UpsRecord", "csv", 2, "机柜", Day, "UpsRecord_2_20240518.csv"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SiteFileName(c.stem, c.suffix, {c.address, QString::fromUtf8(c.identification), c.day}),
                  QString::fromUtf8(c.name))
            << c.name;
}

TEST(SiteFileName, TheRecordExportKeepsTheDefinedNameWithoutACabinet)
{
    EXPECT_EQ(RecordCsvName(QString(), 3, Day), "UpsRecord.csv");
    EXPECT_EQ(RecordCsvName(QStringLiteral("ZYR-50kVA"), 3, Day), "UpsRecord_3_ZYR-50kVA_20240518.csv");
}

TEST(SiteFileName, IdentificationIsTheTypeAndRatingTheCabinetAnswered)
{
    ResetAll();
    EXPECT_EQ(CabinetIdentificationText(Cabinet()), QString()) << "nothing read yet";
    setIdentification("ZYR", 50);
    EXPECT_EQ(CabinetIdentificationText(Cabinet()), "ZYR-50kVA");
    setIdentification("ZYR", 0);
    EXPECT_EQ(CabinetIdentificationText(Cabinet()), "ZYR");
    ResetAll();
}

class SiteFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
        SetSettingsFolderOverride(dir_.path());
    }
    void TearDown() override
    {
        SetSettingsFolderOverride(QString());
        LocalPara.Language = 0;
        ResetAll();
    }
    QTemporaryDir dir_;
};

// The record export: the name offered, then, once the file is whole, the message with the
// full path; a file that cannot be written is told and not confirmed.
TEST_F(SiteFilesTest, RecordExportOffersTheSitesNameAndConfirmsWithTheFullPath)
{
    TfrmUpsRec w;
    w.tmr1->stop();
    TRecordData rec;
    rec.DevID = 1;
    rec.RecNo = 1;
    rec.Year = 2024;
    rec.Month = 5;
    rec.Day = 18;
    ASSERT_TRUE(w.Db().StoreRecord(rec).stored);
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    struct Case {
        int language;
        const char* type; // "" when no identification was read
        QString offered;
        const char* saved;
    } cases[] = {
        {0, "", QStringLiteral("UpsRecord.csv"), "The records are saved in %1"},
        {0, "ZYR", QStringLiteral("UpsRecord_1_ZYR-50kVA_%1.csv").arg(today), "The records are saved in %1"},
        {1, "ZYR", QStringLiteral("UpsRecord_1_ZYR-50kVA_%1.csv").arg(today), "记录已保存到 %1"},
    };
    for (const Case& c : cases) {
        LocalPara.Language = uint8_t(c.language);
        setIdentification(c.type, *c.type ? 50 : 0);
        DialogScript script;
        FileDialogScript files;
        const QString path = dir_.filePath(QStringLiteral("export_%1.csv").arg(c.language));
        files.answers.push_back(path);
        w.btnSaveAsExcel->click();
        ASSERT_EQ(files.asked.size(), 1u);
        EXPECT_EQ(files.asked[0].fileName, c.offered);
        EXPECT_TRUE(QFileInfo(path).size() > 0);
        ASSERT_EQ(script.messages.size(), 1u);
        EXPECT_EQ(script.messages[0].icon, QMessageBox::Information);
        EXPECT_EQ(script.messages[0].text, QString::fromUtf8(c.saved).arg(QDir::toNativeSeparators(path)));
        QFile::remove(path);
    }
    LocalPara.Language = 0;
    DialogScript script;
    FileDialogScript files;
    files.answers.push_back(dir_.filePath("no-such-folder/r.csv"));
    w.btnSaveAsExcel->click();
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].text.startsWith("Failed to save file")) << script.messages[0].text.toStdString();
}

TEST_F(SiteFilesTest, ServiceReportOffersTheSitesNameAndConfirmsWithTheFullPath)
{
    setIdentification("ZYR", 50);
    TfrmJournal w;
    w.dtpDay->setDate(Day);
    w.cbbCabinet->setCurrentIndex(4);
    struct Case {
        int language;
        const char* saved;
    } cases[] = {{0, "The service report is saved in %1"}, {1, "服务报告已保存到 %1"}};
    for (const Case& c : cases) {
        LocalPara.Language = uint8_t(c.language);
        DialogScript script;
        FileDialogScript files;
        const QString path = dir_.filePath(QStringLiteral("report_%1.pdf").arg(c.language));
        files.answers.push_back(path);
        w.btnReport->click();
        ASSERT_EQ(files.asked.size(), 1u);
        EXPECT_EQ(files.asked[0].fileName, "ServiceReport_4_ZYR-50kVA_20240518.pdf");
        EXPECT_TRUE(FileBytes(path).startsWith("%PDF-"));
        ASSERT_EQ(script.messages.size(), 1u);
        EXPECT_EQ(script.messages[0].icon, QMessageBox::Information);
        EXPECT_EQ(script.messages[0].text, QString::fromUtf8(c.saved).arg(QDir::toNativeSeparators(path)));
    }
    // Not written: the error, and no word of a save.
    LocalPara.Language = 0;
    DialogScript script;
    FileDialogScript files;
    files.answers.push_back(dir_.filePath("no-such-folder/r.pdf"));
    w.btnReport->click();
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(script.messages[0].text.contains("saved"));
}

} // namespace
