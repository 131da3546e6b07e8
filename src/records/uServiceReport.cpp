#include "records/uServiceReport.h"

#include "comm/uCabinet.h"
#include "records/uJournalTexts.h"

#include "model/UShareData.h"
#include "model/uActiveAlarms.h"
#include "model/uDataFunc.h"
#include "model/uFileWriter.h"
#include "model/uSettingsBackup.h"
#include "model/uUpsInfo.h"

#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

namespace {

QString num(double v, int decimals = 1) { return QString::number(v, 'f', decimals); }
QString three(const double* v) { return num(v[0]) + QStringLiteral(" / ") + num(v[1]) + QStringLiteral(" / ") + num(v[2]); }
QString optional(const std::optional<int>& v) { return v ? QString::number(*v) : QString(); }

// Draws the report on one page; rows of writes that do not fit are counted in a last line.
void paintReport(QPainter& p, const QRect& page, const TServiceReport& r)
{
    const int dpi = p.device()->logicalDpiY();
    auto pt = [dpi](double points) { return int(points * dpi / 72.0); };
    QFont title = p.font();
    title.setPointSizeF(16);
    title.setBold(true);
    QFont heading = p.font();
    heading.setPointSizeF(11);
    heading.setBold(true);
    QFont body = p.font();
    body.setPointSizeF(9);
    QFont small = p.font();
    small.setPointSizeF(7.5);

    int y = page.top();
    auto line = [&](const QFont& f, const QString& text, int indent = 0) {
        p.setFont(f);
        const QFontMetrics m(f, p.device());
        y += m.ascent();
        p.drawText(page.left() + indent, y, text);
        y += m.descent() + pt(2);
    };
    auto gap = [&](double points) { y += pt(points); };
    auto rule = [&] {
        p.drawLine(page.left(), y, page.right(), y);
        y += pt(4);
    };

    line(title, LangText("Service report", "服务报告"));
    line(body, LangText("Cabinet %1, day %2, printed %3", "机柜 %1，日期 %2，打印于 %3")
                   .arg(r.address)
                   .arg(r.day.toString(Qt::ISODate), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    rule();

    line(heading, LangText("Identification", "设备信息"));
    line(body, LangText("Type: %1    Rating: %2 kVA    Version: %3", "型号: %1    额定功率: %2 kVA    版本: %3")
                   .arg(r.type, QString::number(r.rating), r.version), pt(8));
    line(body, LangText("Company: %1    UPS model: %2", "公司名称: %1    UPS机型: %2").arg(r.company, r.model), pt(8));
    gap(4);

    line(heading, LangText("Present state", "当前状态"));
    line(body, LangText("State: %1", "运行状态: %1").arg(r.state), pt(8));
    for (const QString& v : r.values) line(body, v, pt(8));
    gap(4);

    line(heading, LangText("Active alarms", "当前告警"));
    if (r.alarms.isEmpty()) line(body, LangText("none", "无"), pt(8));
    for (const QString& a : r.alarms) line(body, QStringLiteral("• ") + a, pt(8));
    gap(4);

    line(heading, LangText("Writes of %1", "%1 的写操作").arg(r.day.toString(Qt::ISODate)));
    // The table: time, register, name, before, sent, read back, verdict, window.
    const double widths[] = {0.09, 0.07, 0.27, 0.07, 0.07, 0.08, 0.17, 0.18};
    const QStringList head = {LangText("Time", "时间"),     LangText("Register", "寄存器"), LangText("Name", "名称"),
                              LangText("Before", "原值"),   LangText("Sent", "写入值"),     LangText("Read back", "回读值"),
                              LangText("Verdict", "结果"), LangText("Window", "窗口")};
    auto row = [&](const QStringList& cells, const QFont& f) {
        p.setFont(f);
        const QFontMetrics m(f, p.device());
        int x = page.left();
        for (int i = 0; i < cells.size(); ++i) {
            const int w = int(page.width() * widths[i]);
            p.drawText(QRect(x, y, w - pt(3), m.height()), Qt::AlignLeft | Qt::AlignVCenter,
                       m.elidedText(cells[i], Qt::ElideRight, w - pt(3)));
            x += w;
        }
        y += m.height() + pt(1);
    };
    QFont smallBold = small;
    smallBold.setBold(true);
    row(head, smallBold);
    const int rowHeight = QFontMetrics(small, p.device()).height() + pt(1);
    const int footer = 2 * rowHeight;
    if (r.writes.empty()) line(body, LangText("No write on this day.", "当天没有写操作。"), pt(8));
    int shown = 0;
    // Oldest first on paper, as the visit went.
    for (auto it = r.writes.rbegin(); it != r.writes.rend(); ++it) {
        if (y + rowHeight > page.bottom() - footer) break;
        const TJournalEntry& e = *it;
        row({e.writtenAt.toString(QStringLiteral("HH:mm:ss")), QString::number(e.reg), JournalRegisterText(e.reg),
             optional(e.valueBefore), QString::number(e.valueSent), optional(e.readBack), JournalVerdictText(e.verdict),
             JournalSourceText(e.source)},
            small);
        ++shown;
    }
    const int left = int(r.writes.size()) - shown;
    if (left > 0)
        line(body, LangText("... and %1 later writes in the journal", "... 日志中还有 %1 条之后的写操作").arg(left));
}

} // namespace

TServiceReport CollectServiceReport(int address, const QDate& day, const TServiceJournal* journal)
{
    TServiceReport r;
    r.address = address;
    r.day = day;
    TSettingsBackup id;
    ReadIdentification(Cabinet(), id);
    r.type = id.type;
    r.rating = id.rating;
    r.version = id.version;
    r.company = FieldText(Cabinet().CfgRx, 15).trimmed();
    r.model = FieldText(Cabinet().CfgRx + 15, 10).trimmed();
    const TUpsData& u = Cabinet().UpsData[address >= 0 && address <= MaxDevAddr ? address : 0];
    r.state = StateText(u.SysState);
    r.values << LangText("Input voltage (V): %1", "输入电压(V): %1").arg(three(u.InVolt))
             << LangText("Output voltage (V): %1", "输出电压(V): %1").arg(three(u.OutVolt))
             << LangText("Load (%): %1", "负载率(%): %1").arg(three(u.LoadPct))
             << LangText("Battery voltage (V): %1 / %2", "电池电压(V): %1 / %2").arg(num(u.BattVolt[0]), num(u.BattVolt[1]))
             << LangText("Battery temperature: %1 ℃", "电池温度: %1 ℃").arg(num(u.BattTemp));
    r.alarms = ActiveAlarmNames(u.Status);
    if (journal) r.writes = journal->Entries(address, day);
    return r;
}

bool WriteServiceReportPdf(const QString& path, const TServiceReport& report, QString* error)
{
    // The printer writes a file of its own; it is put in place whole afterwards.
    if (!CheckOutputPath(path, error)) return false;
    const QString draft = TFileWriter::ScratchPathFor(path);
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(draft);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        printer.setDocName(QStringLiteral("Service report"));
        QPainter painter;
        if (!painter.begin(&printer)) {
            QFile::remove(draft);
            if (error) *error = QStringLiteral("cannot write %1: the PDF could not be started").arg(path);
            return false;
        }
        // The painter's origin is the corner of the printable area, inside the margins.
        const QRect area(QPoint(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
        paintReport(painter, area, report);
        painter.end();
    }
    return TFileWriter::PlaceFinished(draft, path, error);
}
